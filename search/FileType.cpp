#include "search/FileType.h"

#include <cstring>

#include "platform/Format.h"
#include "platform/Text.h"
#include "platform/WholeFile.h"

using platform::Bytes;

namespace {

std::uint32_t NextKey() {
  static std::atomic<std::uint32_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

template <typename T>
Signature& AddValueSignature(FileType& type, std::int32_t kind, T value, std::int32_t offset, std::uint16_t repeat) {
  std::uint8_t bytes[sizeof(T)];
  platform::WriteLE<T>(platform::MutableBytes(bytes, sizeof(T)), 0, value);
  return type.AddBytesSignature(kind, Bytes(bytes, sizeof(T)), offset, sizeof(T), repeat);
}

}  // namespace

FileType::FileType() : key_(NextKey()) { Reset(); }

std::unique_ptr<FileType> FileType::FromBlob(Bytes blob, std::u16string* why) {
  auto type = std::make_unique<FileType>();
  if (!type->LoadFromBlob(blob, why)) return nullptr;
  return type;
}

void FileType::Reset() {
  std::memset(header_, 0, kHeaderSize);
  SetI32(kSearchEnabledOffset, 1);
  SetI32(kListedOffset, 1);
  SetI32(kSelectedOffset, 0);
  SetI32(kTypicalSizeOffset, 1024);
  SetI32(kReserved40Offset, 100);
  SetI32(kReserved48Offset, 50);
  signatures_.clear();
  wizardFlag = 0;
  imageIndex = 0;
  parentGroup = nullptr;
  rememberedSizeMode = 0;
}

void FileType::Init(std::int32_t categoryId, std::int32_t typeId, std::u16string_view title,
                    std::u16string_view description, std::u16string_view namePrefix, std::u16string_view extensions,
                    std::u16string_view technicalText) {
  SetCategoryId(categoryId);
  SetTypeId(typeId);
  SetI32(kReserved44Offset, 50);
  if (!title.empty()) SetTitle(title);
  if (!description.empty()) SetDescription(description);
  if (!namePrefix.empty()) SetNamePrefix(namePrefix);
  if (!extensions.empty()) SetExtensions(extensions);
  if (!technicalText.empty()) SetTechnicalText(technicalText);
}

bool FileType::LoadFromBlob(Bytes blob, std::u16string* why) {
  auto fail = [&](const char16_t* text) {
    if (why) *why = text;
    return false;
  };
  if (blob.size() < kHeaderSize) return fail(u"the type is shorter than its 1956-byte header");
  const std::int32_t count = platform::LeView(blob).I32(kSignatureCountOffset);
  if (count < 0) return fail(u"the type's signature count is negative");
  // Every signature takes at least 20 bytes: a count that cannot fit is refused
  // before anything is reserved for it.
  if (static_cast<std::size_t>(count) > (blob.size() - kHeaderSize) / Signature::kHeaderSize)
    return fail(u"the type's signature count does not fit its size");
  std::vector<std::unique_ptr<Signature>> signatures;
  signatures.reserve(static_cast<std::size_t>(count));
  std::size_t pos = kHeaderSize;
  for (std::int32_t i = 0; i < count; ++i) {
    auto s = std::make_unique<Signature>();
    if (!s->LoadFromBlob(blob.subspan(pos), why)) return false;
    pos += s->SerializedSize();
    signatures.push_back(std::move(s));
  }
  std::memcpy(header_, blob.data(), kHeaderSize);
  signatures_ = std::move(signatures);
  return true;
}

bool FileType::CopyHeader(Bytes blob) {
  if (blob.size() < kHeaderSize) return false;
  std::memcpy(header_, blob.data(), kHeaderSize);
  // The count describes the signatures this type keeps, not the other blob's.
  SetI32(kSignatureCountOffset, static_cast<std::int32_t>(signatures_.size()));
  return true;
}

std::size_t FileType::SerializedSize() const {
  std::size_t total = kHeaderSize;
  for (const auto& s : signatures_) total += s->SerializedSize();
  return total;
}

bool FileType::SerializeInto(platform::MutableBytes out) const {
  if (out.size() < SerializedSize()) return false;
  std::memcpy(out.data(), header_, kHeaderSize);
  std::size_t pos = kHeaderSize;
  for (const auto& s : signatures_) {
    s->SerializeInto(out.subspan(pos));
    pos += s->SerializedSize();
  }
  return true;
}

std::vector<std::uint8_t> FileType::Serialize() const {
  std::vector<std::uint8_t> out(SerializedSize());
  SerializeInto(out);
  return out;
}

bool FileType::SaveToFile(const std::string& path) const { return platform::WriteWholeFile(path, Serialize()); }

Signature& FileType::AppendSignature(std::unique_ptr<Signature> signature) {
  signatures_.push_back(std::move(signature));
  SetI32(kSignatureCountOffset, static_cast<std::int32_t>(signatures_.size()));
  return *signatures_.back();
}

bool FileType::RemoveSignature(std::size_t index) {
  if (index >= signatures_.size()) return false;
  signatures_.erase(signatures_.begin() + static_cast<std::ptrdiff_t>(index));
  SetI32(kSignatureCountOffset, static_cast<std::int32_t>(signatures_.size()));
  return true;
}

Signature& FileType::AddBytesSignature(std::int32_t kind, Bytes data, std::int32_t offset, std::uint16_t length,
                                       std::uint16_t repeat) {
  auto s = std::make_unique<Signature>();
  s->AddPattern(kind, data, offset, length, repeat);
  return AppendSignature(std::move(s));
}

Signature& FileType::AddByteSignature(std::uint8_t value, std::int32_t offset, std::uint16_t repeat) {
  return AddValueSignature(*this, PATTERN_BYTE, value, offset, repeat);
}
Signature& FileType::AddWordSignature(std::uint16_t value, std::int32_t offset, std::uint16_t repeat) {
  return AddValueSignature(*this, PATTERN_WORD, value, offset, repeat);
}
Signature& FileType::AddDwordSignature(std::uint32_t value, std::int32_t offset, std::uint16_t repeat) {
  return AddValueSignature(*this, PATTERN_DWORD, value, offset, repeat);
}
Signature& FileType::AddQwordSignature(std::uint64_t value, std::int32_t offset, std::uint16_t repeat) {
  return AddValueSignature(*this, PATTERN_QWORD, value, offset, repeat);
}

std::u16string FileType::DefaultExtension() const { return DefaultExtensionOf(Extensions()); }

std::u16string FileType::DefaultExtensionOf(std::u16string_view extensions) {
  std::u16string ext(extensions);
  std::size_t cut = ext.find_first_of(u",;");
  if (cut != std::u16string::npos) ext.resize(cut);
  return ext;
}

std::u16string FileType::DisplayName() const {
  std::u16string title = Title();
  return title.empty() ? Description() : title;
}

std::int32_t FileType::Selected(std::int32_t value) {
  if (value != -1) SetI32(kSelectedOffset, value);
  return selected();
}

std::u16string FileType::RegistryValueName() const {
  return RegistryValueName(categoryId(), typeId(), Title(), Extensions());
}

std::u16string FileType::RegistryValueName(std::int32_t categoryId, std::int32_t typeId, std::u16string_view title,
                                           std::u16string_view extensions) {
  return platform::Format(u"%d.%d.%s.%s", categoryId, typeId, title, DefaultExtensionOf(extensions));
}

std::int32_t FileType::I32(std::size_t offset) const { return platform::LeView(header_, kHeaderSize).I32(offset); }

void FileType::SetI32(std::size_t offset, std::int32_t v) { platform::LeWriter(header_, kHeaderSize).I32(offset, v); }

std::u16string FileType::Text(std::size_t offset, std::size_t units) const {
  return platform::ReadUtf16Field(header(), offset, units);
}

void FileType::SetText(std::size_t offset, std::size_t units, std::u16string_view text) {
  platform::WriteUtf16Field(platform::MutableBytes(header_, kHeaderSize), offset, units, text);
}
