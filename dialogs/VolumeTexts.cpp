#include "dialogs/VolumeTexts.h"

#include "app/App.h"
#include "app/Formatting.h"
#include "engine/volume/Volume.h"

namespace dialogs {
namespace {

constexpr std::int64_t kKB = 1024;
constexpr std::int64_t kMB = kKB * 1024;
constexpr std::int64_t kGB = kMB * 1024;

enum : std::uint32_t {
  IDS_BYTES = 140,
  IDS_NOT_READY = 371,
  IDS_ANALYZING = 372,
  IDS_INFORMATION_REQUEST = 373,
  IDS_READY = 57345,
  IDS_UNKNOWN = 57116,
};

QString Grouped(std::int64_t value) {
  QString digits = QString::number(value);
  GroupThousands(digits);
  return digits;
}

}  // namespace

QString SizeWithBytes(std::int64_t bytes) {
  QString unit;
  if (bytes > kGB)
    unit = QStringLiteral("%1 GB").arg(bytes / kGB);
  else if (bytes > kMB)
    unit = QStringLiteral("%1 MB").arg(bytes / kMB);
  else if (bytes > kKB)
    unit = QStringLiteral("%1 KB").arg(bytes / kKB);
  return unit + QStringLiteral(" (") + Grouped(bytes) + QLatin1Char(' ') + LangString(IDS_BYTES) + QLatin1Char(')');
}

QString VolumeSizeLine(std::int64_t bytes) { return bytes > kKB ? SizeWithBytes(bytes) : QString(); }

QString SerialText(std::uint32_t high, std::uint32_t low) {
  if (low == 0) return {};
  const QString lowText = QString::number(low, 16).toUpper();
  return high != 0 ? QString::number(high, 16).toUpper() + lowText : lowText;
}

QString VolumeStateText(std::int32_t state) {
  switch (state) {
    case CVolume::kQuerying:
      return LangString(IDS_INFORMATION_REQUEST);
    case CVolume::kReady:
      return LangString(IDS_READY);
    case CVolume::kAnalysing:
      return LangString(IDS_ANALYZING);
    default:
      return LangString(IDS_NOT_READY);
  }
}

std::int64_t SizeOnDisk(std::int64_t size, std::int32_t clusterBytes) {
  if (clusterBytes <= 0 || size <= 0 || size % clusterBytes == 0) return size;
  const std::int64_t clusters = size / clusterBytes + 1;
  // A size within one cluster of the largest value stays as it is.
  if (clusters > INT64_MAX / clusterBytes) return size;
  return clusters * clusterBytes;
}

QString FileSizeText(std::int64_t size) { return size < 0 ? LangString(IDS_UNKNOWN) : QString::number(size); }

QString FileSizeOnDiskText(std::int64_t size, std::int32_t clusterBytes) {
  return size < 0 ? LangString(IDS_UNKNOWN) : QString::number(SizeOnDisk(size, clusterBytes));
}

QString FileTimeText(platform::FileTime time) {
  return time == 0 ? LangString(IDS_UNKNOWN) : FormatFileTime(time);
}

}  // namespace dialogs
