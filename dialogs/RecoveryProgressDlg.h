#pragma once
// The recovery progress dialog "Recovering files..." (dialog 239): follows one
// running CRecovery job (the recovery or "try to open") on a 250 ms timer.
//
// Each tick reads the job without waiting: "%d of %d" (the files before the object
// being copied and the files to be written: a folder of the selection counts for
// none) with the total bar at the same place; the object being
// copied, "%s [size: %I64d]" through its store's Snapshot, with the file bar at
// the job's percent (once the index has reached the count: no text, file bar
// full); then whether the thread is still alive. When it has ended: with
// close-when-done the dialog closes by itself with 0, otherwise "Abort" gives way
// to "OK" and "Go to Recovered..." and both bars are full.
//
// Results: 1 OK (also Escape and the close box once the job has ended), 2 abort
// (confirmed when AppSettings::ConfirmRecoveryAbort is on: string 217, Yes/No;
// No leaves the job running), 0 closed by close-when-done or by "Go to
// Recovered...", which opens the folder the job wrote into. Every way out clears
// the job's run flag; the dialog never waits for the thread.
//
// Modal, GUI thread; the job is not owned and must outlive the dialog.

#include <QDialog>
#include <QString>
#include <QTimer>

#include <vector>

class CRecovery;
class QLabel;
class QProgressBar;
class QPushButton;

class CRecoveryProgressDlg : public QDialog {
  Q_OBJECT

 public:
  enum : int {
    IDD = 239,
    IDC_TOTAL_BAR = 1035,
    IDC_FILE_BAR = 1036,
    IDC_OBJECTS_DONE = 1038,
    IDC_CURRENT_OBJECT = 1039,
    IDC_GO_TO_RECOVERED = 1044,
  };
  static constexpr int kTimerPeriodMs = 250;

  explicit CRecoveryProgressDlg(CRecovery& job, QWidget* parent = nullptr);

  // 1: the dialog closes by itself (result 0) when the job ends. Before exec().
  void SetCloseWhenDone(int flag) { closeWhenDone_ = flag; }
  bool IsEnded() const { return ended_; }

  // One tick (the timer calls it; tests may too).
  void UpdateProgress();
  // The "Abort" button, Escape and the close box while the job runs.
  void OnAbort();
  void StopAndClose(int code);
  void OnJobFinished();
  void OnGoToRecovered();

 protected:
  void reject() override;
  void accept() override { StopAndClose(1); }

 private:
  // The files written before the job reaches each index of its selection (one
  // more entry than the selection holds: the last is the number of files).
  int FilesBefore(int index) const;

  CRecovery& job_;
  std::vector<int> filesBefore_;
  QTimer timer_;
  int closeWhenDone_ = 0;
  bool ended_ = false;
  QLabel* done_ = nullptr;
  QLabel* current_ = nullptr;
  QProgressBar* totalBar_ = nullptr;
  QProgressBar* fileBar_ = nullptr;
  QPushButton* abort_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* goTo_ = nullptr;
};
