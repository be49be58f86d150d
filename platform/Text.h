#pragma once
// UTF-16 text, as the engine keeps it, and the conversions at the system's edges.
// Conversions never fail: what the other side cannot hold (a lone surrogate, a
// malformed UTF-8 sequence) becomes U+FFFD.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ByteOrder.h"

namespace platform {

std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

// ASCII (or Latin-1) bytes widened one to one.
std::u16string Widen(std::string_view latin1);

// Short names on FAT volumes and other 8-bit texts: Windows-1252.
std::u16string Windows1252ToUtf16(Bytes bytes);
char16_t Windows1252ToUnicode(std::uint8_t byte);

// UTF-16LE code units from bytes; an odd trailing byte is ignored.
std::u16string Utf16FromLE(Bytes bytes);
// A zero-terminated UTF-16LE text in a fixed field of `maxUnits` units at `offset`:
// stops at the first NUL or at the field's end (whichever comes first), and never
// reads outside `bytes`.
std::u16string ReadUtf16Field(Bytes bytes, std::size_t offset, std::size_t maxUnits);
// Writes `text` into a fixed field of `maxUnits` units, cut to leave room for the
// terminating NUL, and zero-fills the rest of the field.
void WriteUtf16Field(MutableBytes bytes, std::size_t offset, std::size_t maxUnits, std::u16string_view text);
std::vector<std::uint8_t> Utf16ToLE(std::u16string_view text);

// Simple case folding for names compared without case (registry keys, file masks):
// ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic letters.
char16_t FoldCase(char16_t c);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);

// Whitespace trimming of blanks (U+0020) on both sides.
std::u16string TrimBlanks(std::u16string_view text);

}  // namespace platform
