#pragma once
// CVolumeInfoView: the right-hand view of the explorer view for a selected
// drive, partition or image (views 4, 5 and 6): a two-column report (" Name ",
// " Value ") of the volume's properties, rebuilt by ShowVolumeInfo each time a
// device node is selected. Rows without a value are spacers.
//
// The rows come from Rows(), a plain function of the volume, so that tables of
// cases check them without the view. A physical drive shows its number, a
// logical drive its mount point (" Drive Letter"): there are no drive letters.
//
// Owned by the explorer view (made hidden); GUI thread only.

#include <QString>
#include <QTreeWidget>

#include <memory>
#include <utility>
#include <vector>

class CVolume;

class CVolumeInfoView : public QTreeWidget {
  Q_OBJECT

 public:
  static constexpr int kNameWidth = 150;
  static constexpr int kValueWidth = 250;

  using Row = std::pair<QString, QString>;

  explicit CVolumeInfoView(QWidget* parent = nullptr);

  // Deletes every row and appends the volume's; a null volume changes nothing.
  void ShowVolumeInfo(const std::shared_ptr<CVolume>& volume);

  // The rows for a volume, in order.
  static std::vector<Row> Rows(const CVolume& volume);
  // The text of a drive geometry's media type (1 to 25); "" for any other.
  static QString MediaTypeText(int mediaType);
  // The media type of a whole disk: 11 removable media, 12 a fixed disk.
  static int MediaTypeOf(bool removable) { return removable ? 11 : 12; }

  // The rows the view shows now.
  std::vector<Row> ShownRows() const;
};
