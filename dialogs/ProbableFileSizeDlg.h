#pragma once
// The probable file size dialog "Enter probable file size" (dialog 106): what is
// known about a carved object whose size is not known, and how its size is to be
// chosen (mode 1 the type's default size, 2 the distance to the next found object,
// 3 to the next of the same type, 4 a size typed in with a unit) and how far the
// choice reaches (scope 0 this file, 1 all files of this type, 2 all files of any
// type).
//
// It is filled from the size question alone (search/Recovery.h,
// QuestionKind::ProbableFileSize: the type's name in `text`, the object's name in
// `detail`, offset, size, deleted flag, typical KB and the two distances in
// `values`), so the user interface never reads a store that the recovery's thread
// is using. It changes no object: it returns the choice.
//
// Results: 1 OK (then SizeMode 1..4, Scope 0..2, CustomSize in bytes for mode 4,
// else 0), 2 Cancel (also Escape, the close box, and a question its asker has
// withdrawn), 5 "Skip File". In mode 4 OK refuses a size below 1 or beyond the
// field (a beep, the focus on the size); in modes 1-3 the size field is not read.
//
// Modal, GUI thread.

#include <QButtonGroup>
#include <QDialog>
#include <QString>
#include <QTimer>

#include <cstdint>

#include "engine/records/UserCallbacks.h"

class QComboBox;
class QLineEdit;
class QRadioButton;

namespace controls {
class CLabel;
}

class CProbableFileSizeDlg : public QDialog {
  Q_OBJECT

 public:
  enum : int {
    IDD = 106,
    IDC_SKIP_FILE = 5,
    IDC_SIZE_VALUE = 1070,
    IDC_SCOPE_TYPE = 1085,
    IDC_SCOPE_ALL = 1086,
    IDC_MODE_DEFAULT = 1087,
    IDC_MODE_NEXT_ANY = 1088,
    IDC_UNIT = 1089,
    IDC_SCOPE_FILE = 1122,
    IDC_MODE_NEXT_SAME = 1123,
    IDC_MODE_CUSTOM = 1124,
    IDC_INTRO = 1228,
    IDC_OFFSET = 1229,
    IDC_NAME = 1230,
    IDC_TYPE = 1231,
    IDC_CONDITION = 1232,
    IDC_NEXT_ANY = 1235,
    IDC_NEXT_SAME = 1236,
    IDC_DEFAULT_SIZE = 1237,
    IDC_HELP_BUTTON = 57670,
  };

  explicit CProbableFileSizeDlg(const Question& question, QWidget* parent = nullptr);

  // Selects the unit by strict thresholds (above 2^30 " GB", above 2^20 " MB",
  // above 1024 " KB", else " B ", negative sizes included) and shows the size in
  // it, truncated (" B ": the low 32 bits).
  void SetSizeWithUnit(std::int64_t size);
  // 1087, 1088, 1123 disable the size and unit; 1124 enables them; other ids
  // change nothing.
  void EnableCustomSize(int id);
  // Saves the choice and closes with 1, or refuses (see above).
  void OnOK();

  std::int32_t SizeMode() const { return sizeMode_; }
  std::int32_t Scope() const { return scope_; }
  std::int64_t CustomSize() const { return customSize_; }

  // The reply to the question for a result of exec() (see search/Recovery.h):
  // Ok with [mode, scope, custom bytes], Ignore for "Skip File", else Cancel.
  Reply MakeReply(int result) const;
  // exec(), then MakeReply.
  Reply Ask();

  // The texts 1235, 1236 and 1237 show: a distance in bytes (or a size in KB) as
  // grouped KB and " KBytes"; none (negative) as "0 KBytes".
  static QString DistanceText(std::int64_t bytes);
  static QString KilobytesText(std::int64_t kilobytes);

 protected:
  void accept() override { OnOK(); }

 private:
  controls::CLabel* MakeInfoLabel(int id);
  void CheckWithdrawn();

  Question question_;
  QButtonGroup modeGroup_;
  QButtonGroup scopeGroup_;
  QLineEdit* sizeValue_ = nullptr;
  QComboBox* unit_ = nullptr;
  QTimer withdrawnTimer_;
  std::int32_t sizeMode_ = 1;
  std::int32_t scope_ = 0;
  std::int64_t customSize_ = 0;
};
