#include "wizards/NewSignature.h"

#include <QFileInfo>
#include <QMimeDatabase>

#include <algorithm>

#include "app/QtText.h"
#include "search/FileType.h"
#include "search/FileTypeDatabase.h"

std::array<std::uint8_t, kSignatureBufferSize> SignatureBuffer{};
FileType* g_NewSignature = nullptr;

void ResetSignatureBuffer() {
  std::fill(SignatureBuffer.begin(), SignatureBuffer.begin() + kSampleHeaderSize, std::uint8_t(0x00));
  std::fill(SignatureBuffer.begin() + kSampleHeaderSize, SignatureBuffer.end(), std::uint8_t(0xFF));
}

std::span<std::uint8_t, kSampleHeaderSize> SignatureBufferData() {
  return std::span<std::uint8_t, kSampleHeaderSize>(SignatureBuffer.data(), kSampleHeaderSize);
}

std::span<std::uint8_t, kSampleHeaderSize> SignatureBufferMask() {
  return std::span<std::uint8_t, kSampleHeaderSize>(SignatureBuffer.data() + kSampleHeaderSize, kSampleHeaderSize);
}

std::int32_t FirstFreeTypeId(const FileTypeDatabase* db) {
  std::int32_t id = kFirstUserTypeId;
  while (db && id < kLastTypeId && db->FindById(id)) ++id;
  return id;
}

QString TypeIdRefusal(const FileTypeDatabase* db, std::int64_t id) {
  if (id < kFirstUserTypeId || id > kLastTypeId)
    return QStringLiteral("The format ID must lie between %1 and %2.").arg(kFirstUserTypeId).arg(kLastTypeId);
  if (db) {
    if (const FileType* other = db->FindById(static_cast<std::int32_t>(id)))
      return QStringLiteral("The format ID %1 is already used by \"%2\".")
          .arg(id)
          .arg(app::ToQString(other->DisplayName()));
  }
  return {};
}

QString DefaultExtensionForSample(const QString& path) {
  const QString suffix = QFileInfo(path).suffix();
  if (path.isEmpty() || suffix.isEmpty()) return QStringLiteral("new");
  return suffix.toUpper();
}

QString FileTypeNameFor(const QString& fileName) {
  if (fileName.isEmpty()) return {};
  static QMimeDatabase mimes;
  const QMimeType type = mimes.mimeTypeForFile(QFileInfo(fileName).fileName(), QMimeDatabase::MatchExtension);
  if (!type.isValid() || type.isDefault()) return {};
  return type.comment();
}

void InitNewSignature(FileType& type, const FileTypeDatabase* db, const std::vector<SignatureSample>& samples) {
  type.SetTypicalSizeKB(1024);
  type.SetHeaderI32(kSearchOrderOffset, 50);
  const QString first = samples.empty() ? QString() : samples.front().path;
  type.SetExtensions(app::ToU16(DefaultExtensionForSample(first)));
  type.SetNamePrefix(u"newprefix");
  const QString name = FileTypeNameFor(first);
  if (!name.isEmpty()) {
    type.SetTitle(app::ToU16(name));
    type.SetDescription(app::ToU16(name));
  }
  type.SetTypeId(FirstFreeTypeId(db));
}

int ProposedCompareCount(std::span<const std::uint8_t> mask) {
  int count = 0;
  while (std::size_t(count) < mask.size() && mask[std::size_t(count)] == 0xFF) ++count;
  return count;
}

std::u16string FragmentRefusal(std::span<const std::uint8_t> values, std::span<const std::uint8_t> mask,
                               int count) {
  const std::size_t n = std::min({std::size_t(std::max(count, 0)), values.size(), mask.size()});
  bool anyMask = false, anyBit = false;
  for (std::size_t k = 0; k < n; ++k) {
    anyMask = anyMask || mask[k] != 0;
    anyBit = anyBit || (values[k] & mask[k]) != 0;
  }
  if (!anyMask)
    return u"The mask of this fragment compares no bit: it would match every file. Set the mask bits that "
           u"all files of this kind share, or remove the fragment.";
  if (!anyBit)
    return u"This fragment compares only zero bytes: it would match every empty sector of a drive. Enter the "
           u"bytes that files of this kind start with, or remove the fragment.";
  return {};
}
