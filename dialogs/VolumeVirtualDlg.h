#pragma once
// CVolumeVirtualDlg: "Create Virtual Drive" (form 278), a byte range of a drive on
// a range control, with a start and a size each in a unit ("Gb", "Mb", "Kb"). It
// only shows: the scale runs from "0 GB" to the drive's size in GB with one
// decimal, the labels above the range's ends follow the thumbs in units of
// 100,000,000 bytes, OK does nothing and only Cancel closes. The main window
// opens it for command 32784, which no menu offers.
//
// Holds the drive's volume (shared) while it is open. GUI thread only.

#include <QDialog>
#include <QString>

#include <cstdint>
#include <memory>

class CRangeCtrl;
class CVolume;
class QComboBox;
class QLabel;
class QLineEdit;

class CVolumeVirtualDlg : public QDialog {
  Q_OBJECT

 public:
  enum : int {
    IDD = 278,
    IDC_START = 1106,
    IDC_START_UNIT = 1045,
    IDC_SIZE = 1070,
    IDC_SIZE_UNIT = 1046,
    IDC_RANGE = 1109,
    IDC_DRIVE_SIZE = 1111,
    IDC_HELP_BUTTON = 9,
  };

  explicit CVolumeVirtualDlg(std::shared_ptr<CVolume> volume, QWidget* parent = nullptr);
  ~CVolumeVirtualDlg() override;

  // The drive's size in units of 100,000,000 bytes: bytes / 1000 / 1000 / 100.
  static std::int64_t ScaleUnits(std::int64_t totalBytes);
  // "%d.%d" of the units: the size in GB with one decimal.
  static QString ScaleText(std::int64_t units);

  // The labels above the range's left and right ends.
  QString LeftLabel() const;
  QString RightLabel() const;
  CRangeCtrl* Range() const { return range_; }

  // WM_RANGE_CHANGED: the start and end in percent.
  void OnRangeChanged(int startPercent, int endPercent);

 public slots:
  // OK does nothing: the dialog stays open.
  void accept() override;
  // Cancel, Esc and the close box end the dialog with 2.
  void reject() override;

 private:
  std::shared_ptr<CVolume> volume_;
  std::int64_t start_ = 0;
  std::int64_t size_ = 0;
  std::int64_t units_ = 0;
  bool busy_ = false;
  CRangeCtrl* range_ = nullptr;
  QLineEdit* startEdit_ = nullptr;
  QLineEdit* sizeEdit_ = nullptr;
  QComboBox* startUnit_ = nullptr;
  QComboBox* sizeUnit_ = nullptr;
  QLabel* leftLabel_ = nullptr;
  QLabel* rightLabel_ = nullptr;
};
