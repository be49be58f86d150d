#pragma once
// CVolumeImage_CreateDlg: "Creating Drive Image" (form 279). StartCreate asks for
// the image file's name (a save dialog) and starts the engine's image writer
// (ImageJob) on the volume; the modal dialog then shows the image path, the bar,
// the time since the start and the transfer speed, polled every 250 ms, until the
// writer's end turns Cancel into OK. The opener reads Finished() and ImagePath()
// afterwards and opens the image as a volume (Run does all of it).
//
// The writer's messages reach the dialog under a receiver key of its own, set on
// the job before the writer starts, so that an early failure is not lost. The
// image counts as finished only when the writer reports success; a failed or
// cancelled image stays on disk as far as it was written and is not opened.
// Closing while the writer runs cancels it without waiting on the user-interface
// thread: the writer is told to stop (its reads give up at once, see ReadStop), the
// Cancel button is disabled, and the dialog closes when the writer's WM_IMAGE_DONE
// says it has ended.
//
// Owns the job. GUI thread only.

#include <QBasicTimer>
#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

#include "engine/volume/ImageJob.h"
#include "platform/FileTime.h"

class CVolume;
class QLabel;
class QProgressBar;
class QPushButton;

namespace controls {
class CLabel;
}

class CVolumeImage_CreateDlg : public QDialog {
  Q_OBJECT

 public:
  enum : int {
    IDD = 279,
    IDC_IMAGE_PATH = 1216,
    IDC_TIME = 1162,
    IDC_SPEED = 1161,
    IDC_PROGRESS = 1035,
    IDC_CLOSE = 2,
    IDC_HELP_BUTTON = 9,
  };
  static constexpr int kTimerPeriodMs = 250;

  // The clock the elapsed time and the speed are measured with (tests set their own).
  using Clock = std::function<platform::FileTime()>;
  // Asks for the image file: the chosen path, or an empty text when the user
  // cancelled. The default is a save dialog over `owner` with the "dsk" suffix, an
  // overwrite prompt and the two filters; tests install their own (null restores).
  using SavePathPicker = std::function<QString(QWidget* owner, const QString& defaultName)>;
  static void SetSavePathPicker(SavePathPicker picker);

  explicit CVolumeImage_CreateDlg(QWidget* parent = nullptr);
  ~CVolumeImage_CreateDlg() override;

  // Asks for the file and starts the writer: 1 when it runs, 0 when the user
  // cancelled or the writer could not start (a message says so).
  int StartCreate(std::shared_ptr<CVolume> volume);
  // 1 once the writer reported a complete image.
  int Finished() const { return finished_; }
  QString ImagePath() const;
  ImageJob& Job() { return job_; }
  void SetClock(Clock clock);

  // StartCreate, then the dialog modally over `owner`: the image's path when it
  // was completed, else an empty text.
  static QString Run(std::shared_ptr<CVolume> volume, QWidget* owner);

  // The proposed name: "Image from drive %C", with " (label)" when the volume has
  // a label; %C is a physical drive's number, else the device's name ("sdb1", an
  // image file's name without its extension). The ".dsk" suffix follows.
  static QString DefaultImageName(const CVolume& volume);
  // The bar: current x 100 / total, 0 to 100; 0 while either is 0.
  static int Percent(std::int64_t currentSector, std::int64_t totalSectors);
  // Hours (counting past 24), minutes and seconds of an elapsed time in 100-ns
  // units: "00:00:10".
  static QString ElapsedText(std::int64_t elapsed);
  // KB per second: current sector x 5,000,000 / elapsed 100-ns units, grouped,
  // then " KB\s"; a null text while either is 0.
  static QString SpeedText(std::int64_t currentSector, std::int64_t elapsed);

  // The timer's work: the bar, the time and the speed (nothing once finished).
  void ShowProgress();

 public slots:
  // OK, Cancel, Esc and the close box all stop the writer and close.
  void accept() override;
  void reject() override;

 protected:
  bool event(QEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  void OnImageDone(std::int64_t status);
  void OnImageError(std::int64_t error);
  void StopAndClose();
  void FinishClose();
  void Unregister();

  ImageJob job_;
  std::uint64_t receiverKey_ = 0;
  int finished_ = 0;
  bool closing_ = false;
  bool stopping_ = false;  // told the writer to stop; its end closes the dialog
  platform::FileTime startTime_ = 0;
  Clock clock_;
  QBasicTimer timer_;
  QProgressBar* bar_ = nullptr;
  controls::CLabel* path_ = nullptr;
  QLabel* time_ = nullptr;
  QLabel* speed_ = nullptr;
  QPushButton* close_ = nullptr;
};
