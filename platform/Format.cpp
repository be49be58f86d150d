#include "platform/Format.h"

#include "platform/Text.h"

namespace platform {

std::u16string FormatArg::Text() const {
  if (kind_ == Kind::Text16) return std::u16string(s16_);
  if (kind_ == Kind::Text8) return Utf8ToUtf16(s8_);
  return {};
}

namespace {

struct Conversion {
  bool left = false, plus = false, blank = false, alt = false, zero = false;
  int width = -1;
  int precision = -1;
  int size = 32;  // 32 or 64 bits for integers
};

std::u16string Digits(std::uint64_t v, int base, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::u16string out;
  do {
    out.insert(out.begin(), char16_t(digits[v % base]));
    v /= base;
  } while (v);
  return out;
}

void Pad(std::u16string& out, const std::u16string& body, const Conversion& field, std::u16string_view prefix = {},
         bool zeroAllowed = false) {
  std::size_t len = body.size() + prefix.size();
  std::size_t width = field.width > 0 ? static_cast<std::size_t>(field.width) : 0;
  if (len >= width) {
    out += prefix;
    out += body;
  } else if (field.left) {
    out += prefix;
    out += body;
    out.append(width - len, u' ');
  } else if (field.zero && zeroAllowed) {
    out += prefix;
    out.append(width - len, u'0');
    out += body;
  } else {
    out.append(width - len, u' ');
    out += prefix;
    out += body;
  }
}

}  // namespace

std::u16string FormatArgs(std::u16string_view f, std::span<const FormatArg> args) {
  std::u16string out;
  out.reserve(f.size() + 16);
  std::size_t next = 0;  // next argument
  auto take = [&]() -> const FormatArg* { return next < args.size() ? &args[next++] : nullptr; };

  for (std::size_t i = 0; i < f.size();) {
    char16_t c = f[i];
    if (c != u'%') {
      out.push_back(c);
      ++i;
      continue;
    }
    std::size_t start = i++;
    if (i >= f.size()) {  // a lone '%' at the end stays as it is
      out.push_back(u'%');
      break;
    }
    if (f[i] == u'%') {
      out.push_back(u'%');
      ++i;
      continue;
    }
    Conversion field;
    for (; i < f.size(); ++i) {
      char16_t fl = f[i];
      if (fl == u'-') field.left = true;
      else if (fl == u'+') field.plus = true;
      else if (fl == u' ') field.blank = true;
      else if (fl == u'#') field.alt = true;
      else if (fl == u'0') field.zero = true;
      else break;
    }
    bool bad = false;
    auto number = [&](int& target) {
      if (i < f.size() && f[i] == u'*') {
        ++i;
        const FormatArg* a = take();
        if (!a || !a->IsNumber()) {
          bad = true;
          return;
        }
        std::int64_t v = a->AsSigned();
        if (v < 0 && &target == &field.width) {
          field.left = true;
          v = -v;
        }
        target = v < 0 ? -1 : static_cast<int>(v > 4096 ? 4096 : v);
        return;
      }
      if (i < f.size() && f[i] >= u'0' && f[i] <= u'9') {
        int v = 0;
        while (i < f.size() && f[i] >= u'0' && f[i] <= u'9') {
          v = v * 10 + (f[i] - u'0');
          if (v > 4096) v = 4096;  // a width from a hand-edited file stays sane
          ++i;
        }
        target = v;
      }
    };
    number(field.width);
    if (i < f.size() && f[i] == u'.') {
      ++i;
      field.precision = 0;
      number(field.precision);
    }
    // Length modifiers: I64, I32, ll, l, h, w.
    if (f.substr(i, 3) == u"I64") {
      field.size = 64;
      i += 3;
    } else if (f.substr(i, 3) == u"I32") {
      i += 3;
    } else if (f.substr(i, 2) == u"ll") {
      field.size = 64;
      i += 2;
    } else if (i < f.size() && (f[i] == u'l' || f[i] == u'h' || f[i] == u'w')) {
      ++i;
    }
    if (i >= f.size()) {  // an unfinished conversion is printed as written
      out.append(f.substr(start));
      break;
    }
    char16_t conv = f[i++];
    if (bad) {
      out += kFormatPlaceholder;
      continue;
    }
    switch (conv) {
      case u'd':
      case u'i': {
        const FormatArg* a = take();
        if (!a || !a->IsNumber()) {
          out += kFormatPlaceholder;
          break;
        }
        std::int64_t v = field.size == 64 ? a->AsSigned() : static_cast<std::int32_t>(a->AsUnsigned());
        bool neg = v < 0;
        std::uint64_t mag = neg ? (~static_cast<std::uint64_t>(v) + 1) : static_cast<std::uint64_t>(v);
        std::u16string body = Digits(mag, 10, false);
        if (field.precision >= 0) {
          if (field.precision == 0 && mag == 0) body.clear();
          while (body.size() < static_cast<std::size_t>(field.precision)) body.insert(body.begin(), u'0');
        }
        std::u16string_view sign = neg ? u"-" : field.plus ? u"+" : field.blank ? u" " : u"";
        Pad(out, body, field, sign, field.precision < 0);
        break;
      }
      case u'u':
      case u'x':
      case u'X':
      case u'o': {
        const FormatArg* a = take();
        if (!a || !a->IsNumber()) {
          out += kFormatPlaceholder;
          break;
        }
        std::uint64_t v = field.size == 64 ? a->AsUnsigned() : static_cast<std::uint32_t>(a->AsUnsigned());
        int base = conv == u'u' ? 10 : conv == u'o' ? 8 : 16;
        std::u16string body = Digits(v, base, conv == u'X');
        if (field.precision >= 0) {
          if (field.precision == 0 && v == 0) body.clear();
          while (body.size() < static_cast<std::size_t>(field.precision)) body.insert(body.begin(), u'0');
        }
        std::u16string_view prefix;
        if (field.alt && v != 0) prefix = conv == u'x' ? u"0x" : conv == u'X' ? u"0X" : conv == u'o' ? u"0" : u"";
        Pad(out, body, field, prefix, field.precision < 0);
        break;
      }
      case u'c':
      case u'C': {
        const FormatArg* a = take();
        if (!a || !a->IsNumber()) {
          out += kFormatPlaceholder;
          break;
        }
        std::uint64_t v = a->AsUnsigned() & 0xFFFF;
        Pad(out, std::u16string(1, v ? char16_t(v) : u'\0'), field);
        break;
      }
      case u's':
      case u'S': {
        const FormatArg* a = take();
        if (!a || !a->IsText()) {
          out += kFormatPlaceholder;
          break;
        }
        std::u16string body = a->Text();
        if (field.precision >= 0 && body.size() > static_cast<std::size_t>(field.precision)) body.resize(field.precision);
        Pad(out, body, field);
        break;
      }
      default:
        // Unknown conversions (%p, %n, %f, ...) consume nothing and print the placeholder.
        out += kFormatPlaceholder;
        break;
    }
  }
  return out;
}

}  // namespace platform
