#include <gtest/gtest.h>

#include "platform/Text.h"

using namespace platform;

TEST(Text, Utf16ToUtf8ReplacesLoneSurrogates) {
  struct Case {
    std::u16string in;
    std::string out;
  } cases[] = {
      {u"abc", "abc"},
      {u"\u00e9t\u00e9", "\xC3\xA9t\xC3\xA9"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
      {std::u16string(1, char16_t(0xD800)), "\xEF\xBF\xBD"},                 // lone high at the end
      {std::u16string{char16_t(0xDC00), u'x'}, "\xEF\xBF\xBDx"},             // lone low
      {std::u16string{char16_t(0xD83D), u'a', char16_t(0xDE00)}, "\xEF\xBF\xBD" "a\xEF\xBF\xBD"},
      {std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
  };
  for (auto& c : cases) EXPECT_EQ(Utf16ToUtf8(c.in), c.out);
}

TEST(Text, Utf8ToUtf16ReplacesMalformedSequences) {
  struct Case {
    std::string in;
    std::u16string out;
  } cases[] = {
      {"plain", u"plain"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"\xC3", u"\uFFFD"},                      // truncated at the end
      {"\xC3x", u"\uFFFDx"},                    // truncated before ASCII
      {"\xC0\xAF", u"\uFFFD\uFFFD"},            // overlong lead byte
      {"\xED\xA0\x80", u"\uFFFD"},              // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD"},          // beyond U+10FFFF
      {"\x80", u"\uFFFD"},
  };
  for (auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.in), c.out) << c.in;
}

TEST(Text, FixedFieldsStopAtNulAndAtTheBufferEnd) {
  const std::uint8_t raw[] = {'A', 0, 'B', 0, 0, 0, 'C', 0, 'D'};
  EXPECT_EQ(ReadUtf16Field(Bytes(raw), 0, 10), u"AB");
  EXPECT_EQ(ReadUtf16Field(Bytes(raw), 6, 10), u"C");  // odd last byte is not read
  EXPECT_EQ(ReadUtf16Field(Bytes(raw), 0, 1), u"A");
  std::uint8_t out[8];
  std::fill(std::begin(out), std::end(out), 0xAA);
  WriteUtf16Field(MutableBytes(out), 0, 4, u"WXYZ");  // cut to leave room for the NUL
  EXPECT_EQ(ReadUtf16Field(Bytes(out), 0, 4), u"WXY");
  EXPECT_EQ(out[6], 0);
  EXPECT_EQ(out[7], 0);
}

TEST(Text, Windows1252AndCaseFolding) {
  const std::uint8_t raw[] = {'A', 0x80, 0xE9, 0x9F, 0x81};
  EXPECT_EQ(Windows1252ToUtf16(Bytes(raw)), u"A\u20AC\u00E9\u0178\u0081");
  EXPECT_TRUE(EqualsNoCase(u"Software\\QUENMAR", u"software\\quenmar"));
  EXPECT_TRUE(EqualsNoCase(u"\u00C9T\u00C9", u"\u00E9t\u00E9"));
  EXPECT_TRUE(EqualsNoCase(u"\u0416\u0100", u"\u0436\u0101"));
  EXPECT_FALSE(EqualsNoCase(u"abc", u"abd"));
  EXPECT_EQ(TrimBlanks(u"  NO NAME  "), u"NO NAME");
}
