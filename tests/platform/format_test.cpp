// Tests of the substitute's wide formatted output (_vsnwprintf over UTF-16).
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <limits>
#include <string>

#include "platform/win32.h"

// The Linux substitute's formatter; on Windows the system's own are used.
#ifndef _WIN32
namespace {

struct Printed {
  int result;
  std::u16string text;
};

// Formats into a buffer of `count` characters (plus sentinels) and returns the result with the text.
Printed printN(size_t count, const char16_t* format, ...) {
  std::u16string buffer(count + 4, u'#');
  va_list args;
  va_start(args, format);
  int result = _vsnwprintf(W(buffer.data()), count, W(format), args);
  va_end(args);
  return {result, buffer};
}

// Formats with room to spare and returns the text, checking result and terminator.
std::u16string print(const char16_t* format, ...) {
  std::u16string buffer(2048, u'#');
  va_list args;
  va_start(args, format);
  int result = _vsnwprintf(W(buffer.data()), buffer.size(), W(format), args);
  va_end(args);
  EXPECT_GE(result, 0);
  if (result < 0) return u"<failed>";
  EXPECT_EQ(buffer[result], 0) << "no terminator";
  return buffer.substr(0, result);
}

TEST(Format, Integers) {
  EXPECT_EQ(print(u"%d|%i|%d", 42, -7, 0), u"42|-7|0");
  EXPECT_EQ(print(u"%d", std::numeric_limits<int>::min()), u"-2147483648");
  EXPECT_EQ(print(u"%u", -1), u"4294967295");
  EXPECT_EQ(print(u"%x|%X|%#x|%#X|%#x|%o|%#o", 255, 255, 255, 255, 0, 8, 8), u"ff|FF|0xff|0XFF|0|10|010");
  EXPECT_EQ(print(u"%lld|%I64d|%llu", -9000000000ll, 9000000000ll, 18446744073709551615ull),
            u"-9000000000|9000000000|18446744073709551615");
  EXPECT_EQ(print(u"%zu|%Iu|%I32d|%hd|%hhu", size_t{123}, size_t{5}, 7, 70000, 257), u"123|5|7|4464|1");
}

TEST(Format, FlagsWidthAndPrecisionOfIntegers) {
  EXPECT_EQ(print(u"[%5d][%-5d][%05d][%+d][% d]", 42, 42, -42, 42, 42), u"[   42][42   ][-0042][+42][ 42]");
  EXPECT_EQ(print(u"[%.3d][%8.3d][%08.3d][%.0d]", 7, -7, 7, 0), u"[007][    -007][     007][]");
  EXPECT_EQ(print(u"[%*d][%-*d][%.*d]", 4, 1, 3, 2, 2, 3), u"[   1][2  ][03]");
  EXPECT_EQ(print(u"[%*d]", -4, 1), u"[1   ]");
  EXPECT_EQ(print(u"[%#06x]", 10), u"[0x000a]");
}

TEST(Format, StringsAndCharacters) {
  EXPECT_EQ(print(u"%s|%ls|%ws", u"map", u"\u00E4\u4E16", u"x"), u"map|\u00E4\u4E16|x");
  EXPECT_EQ(print(u"[%6s][%-6s][%.2s]", u"abc", u"abc", u"abc"), u"[   abc][abc   ][ab]");
  EXPECT_EQ(print(u"%hs|%S", "narrow", "caf\xC3\xA9"), u"narrow|caf\u00E9");
  EXPECT_EQ(print(u"%s|%hs", static_cast<const char16_t*>(nullptr), static_cast<const char*>(nullptr)),
            u"(null)|(null)");
  EXPECT_EQ(print(u"%c%c|%3c|%hc", u'a', 0x4E16, u'b', 'z'), u"a\u4E16|  b|z");
  EXPECT_EQ(print(u"100%%"), u"100%");
  // A precision bounds the read: the text needs no terminator after it.
  const char16_t unterminated[3] = {u'a', u'b', u'c'};
  EXPECT_EQ(print(u"%.3s", unterminated), u"abc");
}

TEST(Format, FixedNotationUsesTheRuntimesDigits) {
  EXPECT_EQ(print(u"%f", 1.5), u"1.500000");
  EXPECT_EQ(print(u"%.2f|%.0f|%.1f", 123.456, 2.5, 0.05), u"123.46|2|0.1");
  EXPECT_EQ(print(u"%.2f", 2.675), u"2.67");  // 2.675 is 2.67499999... in binary
  EXPECT_EQ(print(u"[%8.2f][%-8.2f][%08.2f][%+.1f][% .1f]", 1.5, 1.5, -1.5, 1.5, 1.5),
            u"[    1.50][1.50    ][-0001.50][+1.5][ 1.5]");
  EXPECT_EQ(print(u"%#.0f", 3.0), u"3.");
  EXPECT_EQ(print(u"%.3e|%g", 12345.678, 0.0001), u"1.235e+04|0.0001");
}

TEST(Format, ExtremeFloats) {
  std::u16string largest = print(u"%.512f", DBL_MAX);
  ASSERT_EQ(largest.size(), 309u + 1 + 512);
  EXPECT_EQ(largest.substr(0, 10), u"1797693134");
  EXPECT_EQ(print(u"%.1200f", 1.0).size(), 1202u);  // beyond the built-in room
  double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(print(u"[%06f][%f]", inf, -inf), u"[   inf][-inf]");
  EXPECT_EQ(print(u"%f", std::nan("")), u"nan");
  // A huge width is counted, never buffered.
  EXPECT_EQ(printN(4, u"%500000000f", 1.0).result, -1);
}

TEST(Format, OutputThatDoesNotFit) {
  Printed fits = printN(8, u"abc");
  EXPECT_EQ(fits.result, 3);
  EXPECT_EQ(fits.text.substr(0, 5), std::u16string(u"abc\0#", 5));

  // Exactly the room: every character, no terminator.
  Printed exact = printN(3, u"abc");
  EXPECT_EQ(exact.result, 3);
  EXPECT_EQ(exact.text.substr(0, 4), u"abc#");

  // Too long: the room is filled, -1, no terminator, nothing beyond.
  Printed cut = printN(4, u"%s-%d", u"castle", 12);
  EXPECT_EQ(cut.result, -1);
  EXPECT_EQ(cut.text, u"cast####");

  EXPECT_EQ(printN(0, u"").result, 0);
  EXPECT_EQ(printN(0, u"x").result, -1);
}

TEST(Format, UnknownConversionsArePrintedAndNeverWrite) {
  int untouched = 5;
  EXPECT_EQ(print(u"%q|%n", &untouched), u"q|n");
  EXPECT_EQ(untouched, 5);
}

}  // namespace

#endif
