#pragma once
// Formatting of the Windows-style format strings that the string table and the
// language files hold: %s %S %d %i %u %x %X %c %C %I64d %I64u %I64x %I64X with
// flags (- + blank # 0), width and precision (also *), and %%.
//
// Formatting is type-safe: arguments are passed as values, and a conversion that
// finds no argument, or one of the wrong kind, prints kFormatPlaceholder. Language
// files are edited by people, so a bad format can never read memory.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace platform {

inline constexpr std::u16string_view kFormatPlaceholder = u"(?)";

class FormatArg {
 public:
  enum class Kind { Signed, Unsigned, Text16, Text8, Char };

  template <typename T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T> &&
                                             !std::is_same_v<T, char>,
                                         int> = 0>
  FormatArg(T v) : kind_(Kind::Signed), i_(static_cast<std::int64_t>(v)) {}
  template <typename T, std::enable_if_t<std::is_integral_v<T> && std::is_unsigned_v<T> &&
                                             !std::is_same_v<T, bool> && !std::is_same_v<T, char16_t> &&
                                             !std::is_same_v<T, char32_t>,
                                         int> = 0>
  FormatArg(T v) : kind_(Kind::Unsigned), u_(static_cast<std::uint64_t>(v)) {}
  FormatArg(bool v) : kind_(Kind::Signed), i_(v ? 1 : 0) {}
  FormatArg(char16_t c) : kind_(Kind::Char), u_(c) {}
  FormatArg(char c) : kind_(Kind::Char), u_(static_cast<unsigned char>(c)) {}
  FormatArg(std::u16string_view s) : kind_(Kind::Text16), s16_(s) {}
  FormatArg(const std::u16string& s) : kind_(Kind::Text16), s16_(s) {}
  FormatArg(const char16_t* s) : kind_(Kind::Text16), s16_(s ? std::u16string_view(s) : std::u16string_view()) {}
  FormatArg(std::string_view s) : kind_(Kind::Text8), s8_(s) {}
  FormatArg(const std::string& s) : kind_(Kind::Text8), s8_(s) {}
  FormatArg(const char* s) : kind_(Kind::Text8), s8_(s ? std::string_view(s) : std::string_view()) {}

  Kind kind() const { return kind_; }
  bool IsNumber() const { return kind_ == Kind::Signed || kind_ == Kind::Unsigned || kind_ == Kind::Char; }
  bool IsText() const { return kind_ == Kind::Text16 || kind_ == Kind::Text8; }
  std::int64_t AsSigned() const { return kind_ == Kind::Signed ? i_ : static_cast<std::int64_t>(u_); }
  std::uint64_t AsUnsigned() const { return kind_ == Kind::Signed ? static_cast<std::uint64_t>(i_) : u_; }
  std::u16string Text() const;

 private:
  Kind kind_;
  union {
    std::int64_t i_;
    std::uint64_t u_;
  };
  std::u16string_view s16_;
  std::string_view s8_;
};

std::u16string FormatArgs(std::u16string_view format, std::span<const FormatArg> args);

template <typename... Args>
std::u16string Format(std::u16string_view format, const Args&... args) {
  if constexpr (sizeof...(Args) == 0) {
    return FormatArgs(format, {});
  } else {
    const FormatArg list[] = {FormatArg(args)...};
    return FormatArgs(format, list);
  }
}

}  // namespace platform
