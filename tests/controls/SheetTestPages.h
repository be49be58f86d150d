#pragma once
// A property page for the sheet tests: it records the hooks the sheet calls and
// answers them as the test says.

#include <QLabel>
#include <QStringList>
#include <QVBoxLayout>

#include "controls/ResizablePropertySheet.h"

namespace test {

class RecordingPage : public controls::CResizablePropertyPage {
 public:
  RecordingPage(const QString& name, QSize size, QStringList* log, bool exterior = false)
      : CResizablePropertyPage(name, exterior), name_(name), log_(log) {
    resize(size);
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(QStringLiteral("Contents of the page \"%1\".").arg(name), this);
    text->setWordWrap(true);
    layout->addWidget(text);
    layout->addStretch();
  }

  bool sendInitialized = true;
  bool acceptActivation = true;
  bool acceptLeaving = true;
  bool acceptFinish = true;
  int applyResult = controls::kApplyAccepted;
  int backResult = controls::kWizardGoOn;
  int nextResult = controls::kWizardGoOn;
  int buttonsOnActivation = -1;  // wizard buttons set on activation, -1 none
  QRect geometryAtActivation;

  void OnInitDialog() override {
    Note(QStringLiteral("init"));
    if (sendInitialized) SendPageInitialized();
  }
  bool OnSetActive() override {
    Note(QStringLiteral("set active"));
    geometryAtActivation = geometry();
    if (acceptActivation && buttonsOnActivation >= 0) SetWizardButtons(buttonsOnActivation);
    return acceptActivation;
  }
  bool OnKillActive() override {
    Note(QStringLiteral("kill active"));
    return acceptLeaving;
  }
  int OnWizardBack() override {
    Note(QStringLiteral("back"));
    return backResult;
  }
  int OnWizardNext() override {
    Note(QStringLiteral("next"));
    return nextResult;
  }
  bool OnWizardFinish() override {
    Note(QStringLiteral("finish"));
    return acceptFinish;
  }
  int OnApply() override {
    Note(QStringLiteral("apply"));
    return applyResult;
  }
  void OnReset() override { Note(QStringLiteral("reset")); }

 private:
  void Note(const QString& what) {
    if (log_) log_->append(name_ + QLatin1Char(' ') + what);
  }

  QString name_;
  QStringList* log_;
};

}  // namespace test
