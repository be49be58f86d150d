#pragma once
// The wizard's welcome page (form 323, "Welcome!"): what the program does, the
// support and product links and the program's version. The version label (1092)
// shows the compiled-in file version through FormatVersion; a version text that
// can't be read so leaves the label as the form has it.
//
// Owned by the wizard-mode sheet; GUI thread only.

#include <optional>

#include "wizards/WizardModePage.h"

namespace controls {
class CLabel;
}

class CWizardMode_Step0 : public CWizardModePage {
  Q_OBJECT

 public:
  enum : int {
    IDD = 323,
    IDC_VERSION = 1092,
    IDC_SUPPORT_LINK = 1203,
    IDC_PRODUCT_LINK = 1204,
    IDC_HEADING = 1206,
  };
  // The version label's text before ShowVersion.
  static constexpr const char* kVersionPlaceholder = "5.0";

  CWizardMode_Step0();
  ~CWizardMode_Step0() override;

  bool OnPageSetActive() override;

  // A file version "a, b, c, d" as string 216 "%s.%s Build %s": the text before
  // the first comma, the text between the first two commas and the text after the
  // last one, each with the blanks around it trimmed ("5, 0, 0, 478" gives "5.0
  // Build 478"). Nothing for a text with fewer than two commas or an empty part.
  static std::optional<QString> FormatVersion(const QString& fileVersion);
  // Puts the formatted version of `fileVersion` into the label (the program's own
  // when null).
  void ShowVersion(const QString* fileVersion = nullptr);

  controls::CLabel* SupportLink() const { return support_; }
  controls::CLabel* ProductLink() const { return product_; }

 protected:
  void InitPage() override;

 private:
  QLabel* version_;
  controls::CLabel* support_;
  controls::CLabel* product_;
};
