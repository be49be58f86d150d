#include <gtest/gtest.h>

#include "platform/Format.h"

using platform::Format;

TEST(Format, Conversions) {
  const std::int64_t big = 5000000000LL;
  struct Case {
    std::u16string got, want;
  } cases[] = {
      {Format(u"plain"), u"plain"},
      {Format(u"100%%"), u"100%"},
      {Format(u"%s|%S", u"wide", "narrow"), u"wide|narrow"},
      {Format(u"%d %i %u", -5, 7, 4294967295u), u"-5 7 4294967295"},
      {Format(u"%u", -1), u"4294967295"},                 // 32-bit as printf reads it
      {Format(u"%I64d %I64u", big, -1LL), u"5000000000 18446744073709551615"},
      {Format(u"%I64x %I64X", std::int64_t(0xABCDEF12345), std::int64_t(255)), u"abcdef12345 FF"},
      {Format(u"0x%I64x", std::int64_t(0x1000)), u"0x1000"},
      {Format(u"%x %X %#x", 255, 255, 255), u"ff FF 0xff"},
      {Format(u"%c%C", u'A', 'b'), u"Ab"},
      {Format(u"[%5d|%-5d|%05d]", 42, 42, -42), u"[   42|42   |-0042]"},
      {Format(u"[%+d|% d]", 3, 3), u"[+3| 3]"},
      {Format(u"[%.3d|%8.3s|%-4s]", 7, u"abcdef", u"x"), u"[007|     abc|x   ]"},
      {Format(u"[%*d|%.*s]", 4, 1, 2, u"xyz"), u"[   1|xy]"},
      {Format(u"%ls %hs %ws", u"a", "b", u"c"), u"a b c"},
      {Format(u"%d minute(s), %d second(s).", 2, 5), u"2 minute(s), 5 second(s)."},
  };
  for (auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(Format, MalformedFormatsAndMissingArgumentsNeverReadMemory) {
  struct Case {
    std::u16string got, want;
  } cases[] = {
      {Format(u"%s and %s", u"one"), u"one and (?)"},          // too few arguments
      {Format(u"%d", u"text"), u"(?)"},                          // text where a number is asked
      {Format(u"%s", 12), u"(?)"},                               // number where text is asked
      {Format(u"%n%p%f", 1, 2, 3), u"(?)(?)(?)"},                // conversions that are not supported
      {Format(u"%I64"), u"%I64"},                                // unfinished at the end
      {Format(u"50%"), u"50%"},                                  // lone percent at the end
      {Format(u"%99999d", 1).size() == 4096 ? u"ok" : u"bad", u"ok"},  // width capped
      {Format(u"%*d", u"x", 1), u"(?)"},                         // bad star argument
      {Format(u"%s", static_cast<const char16_t*>(nullptr)), u""},
      {Format(u"%d %d", 1, 2, 3), u"1 2"},                       // extra arguments are ignored
  };
  for (auto& c : cases) EXPECT_EQ(c.got, c.want);
}
