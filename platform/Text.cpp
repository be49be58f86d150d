#include "platform/Text.h"

namespace platform {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(char(cp));
  } else if (cp < 0x800) {
    out.push_back(char(0xC0 | (cp >> 6)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(char(0xE0 | (cp >> 12)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (cp >> 18)));
    out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(char16_t(cp));
  } else {
    cp -= 0x10000;
    out.push_back(char16_t(0xD800 + (cp >> 10)));
    out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
  }
}

// Windows-1252 bytes 0x80..0x9F; the five undefined ones map to the C1 controls.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
        AppendUtf8(out, cp);
        ++i;
      } else {
        AppendUtf8(out, kReplacement);
      }
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    unsigned char b = s[i];
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    int need;
    char32_t cp;
    char32_t min;
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1, cp = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2, cp = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3, cp = b & 0x07, min = 0x10000;
    } else {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    int got = 0;
    while (got < need && j < n && (s[j] & 0xC0) == 0x80) {
      cp = (cp << 6) | (s[j] & 0x3F);
      ++j;
      ++got;
    }
    if (got < need || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(kReplacement);
      i = (got == 0) ? i + 1 : j;
      continue;
    }
    AppendUtf16(out, cp);
    i = j;
  }
  return out;
}

std::u16string Widen(std::string_view latin1) {
  std::u16string out;
  out.reserve(latin1.size());
  for (char c : latin1) out.push_back(char16_t(static_cast<unsigned char>(c)));
  return out;
}

char16_t Windows1252ToUnicode(std::uint8_t byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kCp1252High[byte - 0x80];
  return byte;
}

std::u16string Windows1252ToUtf16(Bytes bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (auto b : bytes) out.push_back(Windows1252ToUnicode(b));
  return out;
}

std::u16string Utf16FromLE(Bytes bytes) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) out.push_back(char16_t(bytes[i] | (bytes[i + 1] << 8)));
  return out;
}

std::u16string ReadUtf16Field(Bytes bytes, std::size_t offset, std::size_t maxUnits) {
  std::u16string out;
  for (std::size_t i = 0; i < maxUnits; ++i) {
    std::uint16_t unit;
    if (!ReadLE(bytes, offset + 2 * i, unit) || unit == 0) break;
    out.push_back(char16_t(unit));
  }
  return out;
}

void WriteUtf16Field(MutableBytes bytes, std::size_t offset, std::size_t maxUnits, std::u16string_view text) {
  if (maxUnits == 0) return;
  std::size_t n = text.size() < maxUnits - 1 ? text.size() : maxUnits - 1;
  for (std::size_t i = 0; i < maxUnits; ++i) WriteLE<std::uint16_t>(bytes, offset + 2 * i, i < n ? text[i] : 0);
}

std::vector<std::uint8_t> Utf16ToLE(std::u16string_view text) {
  std::vector<std::uint8_t> out;
  out.reserve(text.size() * 2);
  for (char16_t c : text) {
    out.push_back(std::uint8_t(c & 0xFF));
    out.push_back(std::uint8_t(c >> 8));
  }
  return out;
}

char16_t FoldCase(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return char16_t(c + 32);  // Latin-1 capitals
  if (c >= 0x100 && c <= 0x17F) {                                   // Latin Extended-A pairs
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? char16_t(c + 1) : c;
    if (c == 0x178) return 0xFF;
    return (c & 1) ? c : char16_t(c + 1);
  }
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return char16_t(c + 32);  // Greek capitals
  if (c >= 0x410 && c <= 0x42F) return char16_t(c + 32);                 // Cyrillic capitals
  if (c >= 0x400 && c <= 0x40F) return char16_t(c + 80);
  return c;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

std::u16string TrimBlanks(std::u16string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && text[b] == u' ') ++b;
  while (e > b && text[e - 1] == u' ') --e;
  return std::u16string(text.substr(b, e - b));
}

}  // namespace platform
