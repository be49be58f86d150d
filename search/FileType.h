#pragma once
// One kind of file the signature search can find (PDF, JPEG, ...) or, with type id
// 0, one group of file types. Its stored form, the type blob, is the same in the
// registry and in a .filesig file: a 1956-byte little-endian header followed by
// `signatureCount` signature blobs.
//
// The header is kept as raw bytes, so a blob loads and serialises again byte for
// byte (text after a NUL, reserved fields, unpaired surrogates). Only the signature
// count is always written as the number of signatures held.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ByteOrder.h"
#include "search/Signature.h"

class FileType {
 public:
  static constexpr std::size_t kHeaderSize = 1956;

  // Header fields: byte offsets, and the capacity of the texts in UTF-16 units.
  static constexpr std::size_t kTypeIdOffset = 0;
  static constexpr std::size_t kCategoryIdOffset = 4;
  static constexpr std::size_t kSearchEnabledOffset = 8;
  static constexpr std::size_t kShowInFilterOffset = 12;
  static constexpr std::size_t kListedOffset = 16;
  static constexpr std::size_t kSelectedOffset = 20;
  static constexpr std::size_t kReserved24Offset = 24;
  static constexpr std::size_t kTypicalSizeOffset = 36;
  static constexpr std::size_t kReserved40Offset = 40;
  static constexpr std::size_t kReserved44Offset = 44;
  static constexpr std::size_t kReserved48Offset = 48;
  static constexpr std::size_t kTitleOffset = 152, kTitleUnits = 100;
  static constexpr std::size_t kDescriptionOffset = 352, kDescriptionUnits = 260;
  static constexpr std::size_t kExtensionsOffset = 872, kExtensionsUnits = 100;
  static constexpr std::size_t kNamePrefixOffset = 1072, kNamePrefixUnits = 30;
  static constexpr std::size_t kTechnicalTextOffset = 1132, kTechnicalTextUnits = 410;
  static constexpr std::size_t kSignatureCountOffset = 1952;

  FileType();  // Reset
  FileType(const FileType&) = delete;
  FileType& operator=(const FileType&) = delete;

  // A type from a blob, or null (with the reason) when the blob does not hold together.
  static std::unique_ptr<FileType> FromBlob(platform::Bytes blob, std::u16string* why = nullptr);

  // Header all zero except searchEnabled 1, listed 1, typicalSizeKB 1024 and the
  // reserved fields at 40 and 48 (100 and 50); no signatures; memory fields 0.
  void Reset();
  // Sets the category and id, the reserved field at 44 to 50, and each text that is
  // not empty. The typical size stays 1024.
  void Init(std::int32_t categoryId, std::int32_t typeId, std::u16string_view title, std::u16string_view description,
            std::u16string_view namePrefix, std::u16string_view extensions, std::u16string_view technicalText = {});

  // Checks the whole blob first: at least 1956 bytes, a signature count that is not
  // negative, and signature blobs that each hold together and fit the bytes that
  // remain. On success the header is taken and the signatures replace the type's
  // own; bytes after the last signature are not part of the type. On failure the
  // type is unchanged and `why` says what is wrong.
  bool LoadFromBlob(platform::Bytes blob, std::u16string* why = nullptr);
  // Overwrites the header only (at least 1956 bytes needed); the signatures stay.
  bool CopyHeader(platform::Bytes blob);

  // 1956 plus the sizes of the signature blobs.
  std::size_t SerializedSize() const;
  // Writes the whole blob; false (nothing written) when `out` is too small.
  bool SerializeInto(platform::MutableBytes out) const;
  std::vector<std::uint8_t> Serialize() const;
  // Writes the blob as a .filesig file; false when the file can't be written.
  bool SaveToFile(const std::string& path) const;

  // Signatures. The returned reference stays valid as long as the type.
  Signature& AppendSignature(std::unique_ptr<Signature> signature);
  Signature& AddBytesSignature(std::int32_t kind, platform::Bytes data, std::int32_t offset, std::uint16_t length = 0,
                               std::uint16_t repeat = 0);
  Signature& AddByteSignature(std::uint8_t value, std::int32_t offset, std::uint16_t repeat = 0);
  Signature& AddWordSignature(std::uint16_t value, std::int32_t offset, std::uint16_t repeat = 0);
  Signature& AddDwordSignature(std::uint32_t value, std::int32_t offset, std::uint16_t repeat = 0);
  Signature& AddQwordSignature(std::uint64_t value, std::int32_t offset, std::uint16_t repeat = 0);
  // Removes signature `index` and sets the count; false when there is none.
  bool RemoveSignature(std::size_t index);
  std::size_t GetSignatureCount() const { return signatures_.size(); }
  Signature& GetSignature(std::size_t index) { return *signatures_[index]; }
  const Signature& GetSignature(std::size_t index) const { return *signatures_[index]; }

  // True when any signature holds on the candidate: the bytes from the candidate's
  // start to the end of what may be read (or `buffer` from `position`). A type
  // without signatures never matches. Allocates nothing and writes nothing.
  bool Match(platform::Bytes candidate) const {
    for (const auto& s : signatures_)
      if (s->Match(candidate)) return true;
    return false;
  }
  bool Match(platform::Bytes buffer, std::size_t position) const {
    return position <= buffer.size() && Match(buffer.subspan(position));
  }

  // The text of `extensions` up to the first "," or ";" (all of it when there is none).
  std::u16string DefaultExtension() const;
  // `title`, or `description` when the title is empty.
  std::u16string DisplayName() const;
  // Sets `selected` unless `value` is -1; returns it.
  std::int32_t Selected(std::int32_t value = -1);
  // The name of its registry value: "%d.%d.%s.%s" with the category id, the type id,
  // the title and the default extension.
  std::u16string RegistryValueName() const;
  // The same for a type with these fields (an editor asks before it changes them).
  static std::u16string RegistryValueName(std::int32_t categoryId, std::int32_t typeId, std::u16string_view title,
                                          std::u16string_view extensions);
  // The default extension of an extension list.
  static std::u16string DefaultExtensionOf(std::u16string_view extensions);

  // Header fields.
  std::int32_t typeId() const { return I32(kTypeIdOffset); }
  std::int32_t categoryId() const { return I32(kCategoryIdOffset); }
  std::int32_t searchEnabled() const { return I32(kSearchEnabledOffset); }
  std::int32_t showInFilter() const { return I32(kShowInFilterOffset); }
  std::int32_t listed() const { return I32(kListedOffset); }
  std::int32_t selected() const { return I32(kSelectedOffset); }
  std::int32_t typicalSizeKB() const { return I32(kTypicalSizeOffset); }
  void SetTypeId(std::int32_t v) { SetI32(kTypeIdOffset, v); }
  void SetCategoryId(std::int32_t v) { SetI32(kCategoryIdOffset, v); }
  void SetSearchEnabled(std::int32_t v) { SetI32(kSearchEnabledOffset, v); }
  void SetShowInFilter(std::int32_t v) { SetI32(kShowInFilterOffset, v); }
  void SetListed(std::int32_t v) { SetI32(kListedOffset, v); }
  void SetTypicalSizeKB(std::int32_t v) { SetI32(kTypicalSizeOffset, v); }
  std::int32_t HeaderI32(std::size_t offset) const { return I32(offset); }
  void SetHeaderI32(std::size_t offset, std::int32_t v) { SetI32(offset, v); }

  std::u16string Title() const { return Text(kTitleOffset, kTitleUnits); }
  std::u16string Description() const { return Text(kDescriptionOffset, kDescriptionUnits); }
  std::u16string Extensions() const { return Text(kExtensionsOffset, kExtensionsUnits); }
  std::u16string NamePrefix() const { return Text(kNamePrefixOffset, kNamePrefixUnits); }
  std::u16string TechnicalText() const { return Text(kTechnicalTextOffset, kTechnicalTextUnits); }
  // Texts longer than their field are cut to leave room for the NUL.
  void SetTitle(std::u16string_view t) { SetText(kTitleOffset, kTitleUnits, t); }
  void SetDescription(std::u16string_view t) { SetText(kDescriptionOffset, kDescriptionUnits, t); }
  void SetExtensions(std::u16string_view t) { SetText(kExtensionsOffset, kExtensionsUnits, t); }
  void SetNamePrefix(std::u16string_view t) { SetText(kNamePrefixOffset, kNamePrefixUnits, t); }
  void SetTechnicalText(std::u16string_view t) { SetText(kTechnicalTextOffset, kTechnicalTextUnits, t); }

  platform::Bytes header() const { return platform::Bytes(header_, kHeaderSize); }

  // The type's own key: unique in the process for as long as it runs, never reused.
  std::uint32_t key() const { return key_; }

  // Kept in memory only.
  std::int32_t wizardFlag = 0;
  std::int32_t imageIndex = 0;                      // the type trees' image
  FileType* parentGroup = nullptr;                  // the group a group belongs to (Photos: Images)
  std::atomic<std::int32_t> rememberedSizeMode{0};  // the recovery's size mode for "this type"

 private:
  std::int32_t I32(std::size_t offset) const;
  void SetI32(std::size_t offset, std::int32_t v);
  std::u16string Text(std::size_t offset, std::size_t units) const;
  void SetText(std::size_t offset, std::size_t units, std::u16string_view text);

  std::uint8_t header_[kHeaderSize];
  std::vector<std::unique_ptr<Signature>> signatures_;
  const std::uint32_t key_;
};
