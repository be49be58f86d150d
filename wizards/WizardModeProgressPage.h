#pragma once
// CWizardModeProgressPage: the design the wizard's two progress pages share, the
// file-system pass (Step5) and the signature pass (Step7), each on the current
// volume (the drive chosen on the drive page):
//   - a pass starts by itself the first time its page is shown after a drive
//     choice (the start-pending flag, set by ResetProgress), or by Start (1187);
//     Stop (1188) logs "Operation aborted. Incomplete drive analysis!" and finishes
//     the analysis;
//   - while shown the page is the program's log window: log lines (WM_LOG_LINE)
//     go to its log (1171), and a 200 ms timer refreshes the counters and the bar;
//   - the state refresh: while a scan runs no wizard button, "Busy" (161), Start
//     off and Stop on; otherwise "Idle" (162), Back and Next, Start on, Stop off;
//   - when a pass this page started ends by itself with the auto-pilot on, the
//     sheet recovers what the pass found (CAutoPilot);
//   - "Read errors:" (1173) counts the sectors the page's pass could not read
//     (ScanProgress::unreadable); once the pass has run to its end its last
//     position shows its total and the bar is full.
// "Show filenames" (1218) is AppSettings::LogFoundNames, stored on each click.
//
// Owned by the wizard-mode sheet; GUI thread only.

#include <QTimer>

#include <cstdint>
#include <memory>

#include "engine/store/AutoPilot.h"
#include "wizards/WizardModePage.h"

class CVolume;
class CWizardModeLogEdit;
class QCheckBox;
class QGridLayout;
class QProgressBar;
class QPushButton;
namespace controls {
class CLabel;
}

class CWizardModeProgressPage : public CWizardModePage {
  Q_OBJECT

 public:
  enum : int {
    IDC_BAR = 1035,
    IDC_FILES_FOUND = 1172,
    IDC_READ_ERRORS = 1173,
    IDC_START = 1187,
    IDC_STOP = 1188,
    IDC_STATUS = 1197,
    IDC_SHOW_FILENAMES = 1218,
  };
  static constexpr int kTimerId = 200;
  static constexpr int kTimerPeriodMs = 200;

  CWizardModeProgressPage(int dialogId, int titleId, const QString& section, int driveLabelId,
                          const QString& driveCaption, CAutoPilot::Pass pass);
  ~CWizardModeProgressPage() override;

  bool OnPageSetActive() override;
  bool OnKillActive() override;

  // Start (1187): the pass on the current volume.
  void Start();
  // Stop (1188).
  void Stop();
  // The counters and the bar (the timer's work).
  virtual void UpdateProgress() = 0;
  // The counters, then the buttons and the status by the running flag.
  void UpdateState();
  // The reset a new drive choice asks for.
  virtual void ResetProgress() = 0;
  // The sheet's part when this page's pass has ended: the state refresh, then the
  // auto-pilot when the pass was started here and not stopped.
  void OnPassDone();

  bool StartPending() const { return startPending_; }
  void SetStartPending(bool on) { startPending_ = on; }
  bool TimerRunning() const { return timer_.isActive(); }
  CAutoPilot::Pass Pass() const { return pass_; }

  CWizardModeLogEdit* LogEdit() const { return log_; }
  QProgressBar* Bar() const { return bar_; }
  controls::CLabel* DriveLabel() const { return drive_; }

 protected:
  bool event(QEvent* event) override;
  void InitPage() override;

  // Starts the page's pass on `volume`; false when it did not start.
  virtual bool StartPass(CVolume& volume) = 0;
  // Adds a "caption value" row to the counters (the value carries `id`).
  QLabel* AddCounter(const QString& caption, int id, int row, int column, const QString& value = QStringLiteral("0"));
  // Builds the form: the drive row, the bar, the log, the counters (files found,
  // read errors and status in columns 0 and 1; the page adds its own in columns 2
  // and 3), the buttons and the hint.
  void BuildForm();
  void SetCounter(int id, std::int64_t value);
  std::shared_ptr<CVolume> CurrentVolume() const;
  // The pass this page started has run to its end (not stopped): the page shows
  // its last position equal to its total and the bar full. A start or a reset
  // clears it.
  bool PassCompleted() const { return passCompleted_; }
  void ClearPassEnd() {
    passCompleted_ = false;
    readErrors_ = 0;
  }

 private:
  void OnShowFilenames();

  const CAutoPilot::Pass pass_;
  const int driveLabelId_;
  const QString driveCaption_;
  controls::CLabel* drive_ = nullptr;
  QProgressBar* bar_ = nullptr;
  CWizardModeLogEdit* log_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* stop_ = nullptr;
  QLabel* status_ = nullptr;
  QGridLayout* counters_ = nullptr;
  QCheckBox* showNames_ = nullptr;
  QTimer timer_;
  bool startPending_ = true;
  // The pass running now was started by this page, and Stop was used on it.
  bool startedHere_ = false;
  bool stoppedByUser_ = false;
  bool passCompleted_ = false;
  // "Read errors:": the sectors this page's pass could not read.
  std::int64_t readErrors_ = 0;
};
