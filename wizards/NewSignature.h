#pragma once
// What the New Signature Wizard builds, shared by its pages:
//
//   g_NewSignature   the file type being built: made with the wizard, owned by it
//                    until the file-type database takes it (Finish, "Add to
//                    signatures list"), never freed after that; null without a
//                    wizard.
//   SignatureBuffer  512 data bytes then 512 mask bytes: the analysis writes them,
//                    the first fragment is made from them. A new wizard sets the
//                    data bytes to 0x00 and the mask bytes to 0xFF.
//
// And the rules the pages apply to the new type, as functions the tests call
// without a window. GUI thread only.

#include <QString>

#include <array>
#include <cstddef>
#include <string>
#include <cstdint>
#include <span>
#include <vector>

#include "wizards/SignatureSample.h"

class FileType;
class FileTypeDatabase;

inline constexpr std::size_t kSignatureBufferSize = 2 * kSampleHeaderSize;
extern std::array<std::uint8_t, kSignatureBufferSize> SignatureBuffer;
extern FileType* g_NewSignature;

// Data bytes 0x00, mask bytes 0xFF.
void ResetSignatureBuffer();
std::span<std::uint8_t, kSampleHeaderSize> SignatureBufferData();
std::span<std::uint8_t, kSampleHeaderSize> SignatureBufferMask();

// Type ids a user type may have.
inline constexpr std::int32_t kFirstUserTypeId = 1000;
inline constexpr std::int32_t kLastTypeId = 32767;
// The header field the search order is kept in, and the coincidence percentage.
inline constexpr std::size_t kSearchOrderOffset = 48;
inline constexpr std::size_t kCoincidenceOffset = 40;

// The first id from 1000 upward that no type of the database has (1000 without a
// database).
std::int32_t FirstFreeTypeId(const FileTypeDatabase* db);
// Why a typed id can't be the new type's: outside 1000..32767, or another type's
// (a second type with one id would be shadowed by the first in every lookup and
// import). Empty when the id is free.
QString TypeIdRefusal(const FileTypeDatabase* db, std::int64_t id);

// The extension list a new type starts with: the extension of the sample's file
// name in upper case, "new" when there is no sample or its name has none.
QString DefaultExtensionForSample(const QString& path);
// The desktop's name for the kind of file `fileName` names, by its extension ("PNG
// image"); empty when the desktop does not know the extension.
QString FileTypeNameFor(const QString& fileName);

// The type's defaults as the fourth page sets them: typical size 1024 KB, search
// order 50, the extension list from the first sample, prefix "newprefix", title
// and short description from the desktop's name of the first sample's kind (when
// there is one), the first free id.
void InitNewSignature(FileType& type, const FileTypeDatabase* db, const std::vector<SignatureSample>& samples);

// The byte count a fragment is compared over at first: the leading run of bytes
// whose mask is 0xFF (every sample has the same byte there); 0 when the first byte
// already differs.
int ProposedCompareCount(std::span<const std::uint8_t> mask);

// Why a fragment compared over its first `count` bytes can't be used (empty when
// it can): a fragment whose compared bits are all zero (all-zero data, or a mask
// that compares nothing) matches every zero-filled sector, or everything.
std::u16string FragmentRefusal(std::span<const std::uint8_t> values, std::span<const std::uint8_t> mask,
                               int count);
