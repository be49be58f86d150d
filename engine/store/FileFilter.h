#pragma once
// The filter the found-object views apply: deleted objects only, a name mask,
// a creation-date range and the file-type modes. The record is stored byte for byte
// (728 bytes, little-endian) as the default value of the "Filter" subkey of the
// program key, so its layout is a stored format; reserved bytes keep what they held.
//
// A filter is a plain value used on one thread: the views' thread reads it, the
// filters sheet edits it; another thread takes a copy.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/FileTime.h"

namespace platform {
class RegistryStore;
}
struct FoundObject;

class FileFilter {
 public:
  static constexpr std::size_t kSize = 728;
  static constexpr std::size_t kMaskUnits = 256;

  // Offsets of the fields in the stored record.
  static constexpr std::size_t kDeletedOnlyOffset = 20;
  static constexpr std::size_t kUseMaskOffset = 52;
  static constexpr std::size_t kUseDatesOffset = 56;
  static constexpr std::size_t kDateModeOffset = 60;
  static constexpr std::size_t kUseSizeOffset = 64;
  static constexpr std::size_t kTypeModeOffset = 80;
  static constexpr std::size_t kMaskOffset = 120;
  static constexpr std::size_t kDateFromOffset = 632;
  static constexpr std::size_t kDateToOffset = 640;
  static constexpr std::size_t kSizeFromOffset = 656;
  static constexpr std::size_t kSizeToOffset = 672;

  enum TypeMode : std::int32_t { kAllTypes = 0, kKnownTypesOnly = 1, kMarkedTypesOnly = 2 };

  // All zero, then the defaults: every object shown.
  FileFilter();

  // 1 hides the object, 0 shows it.
  int IsHidden(const FoundObject& record) const;
  // Whether a name matches a mask of '?' (one character) and '*' (any run, also
  // none), without letter case, as FAT and NTFS compare names.
  static int MatchMask(std::u16string_view mask, std::u16string_view name);

  // Writes the record as the default value of "<program key>\Filter"; 1 on success.
  int Save();
  // Reads the record; a missing key writes the defaults. Returns 1.
  int Load();
  void SetRegistry(platform::RegistryStore* registry) { registry_ = registry; }

  std::int32_t DeletedOnly() const { return GetInt(kDeletedOnlyOffset); }
  void SetDeletedOnly(std::int32_t v) { SetInt(kDeletedOnlyOffset, v); }
  std::int32_t UseMask() const { return GetInt(kUseMaskOffset); }
  void SetUseMask(std::int32_t v) { SetInt(kUseMaskOffset, v); }
  std::int32_t UseDates() const { return GetInt(kUseDatesOffset); }
  void SetUseDates(std::int32_t v) { SetInt(kUseDatesOffset, v); }
  std::int32_t DateMode() const { return GetInt(kDateModeOffset); }
  void SetDateMode(std::int32_t v) { SetInt(kDateModeOffset, v); }
  std::int32_t UseSize() const { return GetInt(kUseSizeOffset); }
  void SetUseSize(std::int32_t v) { SetInt(kUseSizeOffset, v); }
  std::int32_t GetTypeMode() const { return GetInt(kTypeModeOffset); }
  void SetTypeMode(std::int32_t v) { SetInt(kTypeModeOffset, v); }
  std::u16string Mask() const;
  void SetMask(std::u16string_view mask);
  platform::FileTime DateFrom() const { return GetInt64(kDateFromOffset); }
  void SetDateFrom(platform::FileTime t) { SetInt64(kDateFromOffset, t); }
  platform::FileTime DateTo() const { return GetInt64(kDateToOffset); }
  void SetDateTo(platform::FileTime t) { SetInt64(kDateToOffset, t); }
  std::int64_t SizeFrom() const { return GetInt64(kSizeFromOffset); }
  void SetSizeFrom(std::int64_t v) { SetInt64(kSizeFromOffset, v); }
  std::int64_t SizeTo() const { return GetInt64(kSizeToOffset); }
  void SetSizeTo(std::int64_t v) { SetInt64(kSizeToOffset, v); }

  const std::array<std::uint8_t, kSize>& Bytes() const { return data_; }
  // Takes a stored record; one shorter than kSize gives the defaults. The mask is
  // always terminated inside its field.
  void SetBytes(const std::uint8_t* bytes, std::size_t size);
  void SetDefaults();

 private:
  bool DateHides(platform::FileTime created) const;
  std::int32_t GetInt(std::size_t off) const;
  void SetInt(std::size_t off, std::int32_t v);
  std::int64_t GetInt64(std::size_t off) const;
  void SetInt64(std::size_t off, std::int64_t v);
  platform::RegistryStore& Registry() const;

  std::array<std::uint8_t, kSize> data_{};
  platform::RegistryStore* registry_ = nullptr;
};
