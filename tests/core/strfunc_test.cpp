// Tests of the string and number functions: float formatting, counting, replacing, path parts, file sizes.
#include "core/strfunc.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

#include "core/string.h"
#include "tests/support/accumulator.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

StringAccumulator& acc = String_Accumulator;

// Runs a string-result function at the current position, checks that the
// position ends exactly after the characters it wrote, and rewinds.
template <typename Call>
std::u16string resultOf(Call call) {
  int32_t s = acc.position;
  call(s);
  std::u16string text(at(s));
  EXPECT_EQ(acc.position, s + 2 * static_cast<int32_t>(text.size()))
      << "result of " << text.size() << " chars";
  acc.position = s;
  return text;
}

std::u16string formatted(double value, int32_t decimals) {
  return resultOf([&](int32_t s) { String_FormatFloat(value, decimals, s); });
}

std::u16string replaced(const char16_t* text, const char16_t* search, const char16_t* replacement,
                        int32_t mode = 0, int32_t from = 1, int32_t count = -1) {
  std::u16string copy = text ? text : u"";
  char16_t* t = text ? copy.data() : nullptr;
  return resultOf([&](int32_t s) { String_Replace(t, search, replacement, mode, from, count, s); });
}

std::u16string pathPart(const char16_t* path) {
  return resultOf([&](int32_t s) { String_PathPart(path, s); });
}

// Pads the accumulator so that only `room` bytes stay below its growth point,
// and makes the next reservation move the buffer: it grows the buffer once now
// (so it is freshly placed) and puts a large block on the string heap behind it.
void fillToNearGrowth(int32_t room, StringVar* blocker) {
  std::u16string crossing((acc.capacity - acc.position) / 2, u'.');
  String_Append(crossing.c_str());
  String_AssignNew(blocker, std::u16string(16384, u'b').c_str());
  std::u16string filler((acc.capacity - 4 - acc.position - room) / 2, u'.');
  String_Append(filler.c_str());
  ASSERT_EQ(acc.capacity - 4 - acc.position, room);
}

TEST(StringFormatFloat, DecimalsGiveFixedDigits) {
  EXPECT_EQ(formatted(1.5, 2), u"1.50");
  EXPECT_EQ(formatted(123.456, 2), u"123.46");
  EXPECT_EQ(formatted(-2.26, 1), u"-2.3");
  EXPECT_EQ(formatted(1.25, -5), u"1");  // below 0: no decimals, no point
  EXPECT_EQ(formatted(2.0, 0), u"2");
  EXPECT_EQ(formatted(1.0, 600), u"1." + std::u16string(512, u'0'));
}

TEST(StringFormatFloat, MinusOneDropsTrailingZerosButNotIntegerZeros) {
  EXPECT_EQ(formatted(1.5, -1), u"1.5");
  EXPECT_EQ(formatted(-1.5, -1), u"-1.5");
  EXPECT_EQ(formatted(3.0, -1), u"3");
  EXPECT_EQ(formatted(100.0, -1), u"100");
  EXPECT_EQ(formatted(1e20, -1), u"100000000000000000000");
  EXPECT_EQ(formatted(0.1, -1), u"0.1");
  EXPECT_EQ(formatted(1e-11, -1), u"0");  // rounds to 0.0000000000
  EXPECT_EQ(formatted(0.12345678912, -1), u"0.1234567891");
}

TEST(StringFormatFloat, NegativeZeroIsPositiveZero) {
  EXPECT_EQ(formatted(-0.0, 2), u"0.00");
  EXPECT_EQ(formatted(-0.0, -1), u"0");
  EXPECT_EQ(formatted(0.0, 0), u"0");
}

TEST(StringFormatFloat, InfinitiesAndNaNAreWords) {
  const double inf = std::numeric_limits<double>::infinity();
  for (int32_t decimals : {-5, -1, 0, 2, 600}) {
    EXPECT_EQ(formatted(inf, decimals), u"+Infinity");
    EXPECT_EQ(formatted(-inf, decimals), u"-Infinity");
    EXPECT_EQ(formatted(std::nan(""), decimals), u"NaN");
    EXPECT_EQ(formatted(-std::nan(""), decimals), u"NaN");
  }
}

TEST(StringFormatFloat, LargestValuesWith512DecimalsFit) {
  std::u16string largest = formatted(DBL_MAX, 512);
  ASSERT_EQ(largest.size(), 309u + 1 + 512);
  EXPECT_EQ(largest.substr(0, 6), u"179769");
  EXPECT_EQ(largest.substr(309), u"." + std::u16string(512, u'0'));
  EXPECT_EQ(formatted(-DBL_MAX, 600).size(), 1u + 309 + 1 + 512);
  // The smallest subnormal needs all 512 decimals' room without overflowing.
  std::u16string tiny = formatted(DBL_TRUE_MIN, 512);
  EXPECT_EQ(tiny.size(), 514u);
}

TEST(StringFormatFloat, WritesAfterTheCallersOperands) {
  int32_t p = acc.position;
  String_Append(u"MB: ");
  String_FormatFloat(12.5, 2, acc.position);
  String_Append(u" of ");
  String_FormatFloat(100.0, 2, acc.position);
  StringVar v = nullptr;
  String_Store(&v, p);
  EXPECT_EQ(std::u16string(v), u"MB: 12.50 of 100.00");
  EXPECT_EQ(acc.position, p);
  String_Free(v);
}

TEST(StringCount, CountsNonOverlappingExactOccurrences) {
  EXPECT_EQ(String_Count(u"a.bxm.bxm", u".bxm"), 2);
  EXPECT_EQ(String_Count(u"aaa", u"aa"), 1);
  EXPECT_EQ(String_Count(u"aaaa", u"aa"), 2);
  EXPECT_EQ(String_Count(u"castle.BXM", u".bxm"), 0);
  EXPECT_EQ(String_Count(u"castle.bx", u".bxm"), 0);
  EXPECT_EQ(String_Count(u".bxm", u".bxm"), 1);
  EXPECT_EQ(String_Count(u"castle", u""), 0);
  EXPECT_EQ(String_Count(u"castle", nullptr), 0);
  EXPECT_EQ(String_Count(nullptr, u"a"), 0);
  EXPECT_EQ(String_Count(u"", u"a"), 0);
}

TEST(StringReplace, ShortFormReplacesEveryOccurrence) {
  EXPECT_EQ(resultOf([](int32_t s) { String_Replace(u"C:\\maps\\castle.bxm", u"C:\\maps\\", u"", s); }),
            u"castle.bxm");
  EXPECT_EQ(resultOf([](int32_t s) { String_Replace(u"a-b-c", u"-", u" + ", s); }), u"a + b + c");
  EXPECT_EQ(resultOf([](int32_t s) { String_Replace(u"aaa", u"aa", u"b", s); }), u"ba");
}

TEST(StringReplace, EmptyOrNullArgumentsAreEmptyStrings) {
  EXPECT_EQ(replaced(u"castle", u"", u"x"), u"castle");
  EXPECT_EQ(replaced(u"castle", nullptr, u"x"), u"castle");
  EXPECT_EQ(replaced(nullptr, u"a", u"x"), u"");
  EXPECT_EQ(replaced(u"castle", u"t", nullptr), u"casle");
  EXPECT_EQ(replaced(u"", u"a", u"x"), u"");
}

TEST(StringReplace, CaseInsensitiveModeFoldsAsciiLetters) {
  EXPECT_EQ(replaced(u"A.BXM.bxm.Bxm", u".bxm", u"!", STRING_REPLACE_NOCASE), u"A!!!");
  EXPECT_EQ(replaced(u"A.BXM.bxm", u".bxm", u"!"), u"A.BXM!");
  // Letters beyond ASCII compare as they are.
  EXPECT_EQ(replaced(u"\u00C4\u00E4", u"\u00E4", u"a", STRING_REPLACE_NOCASE), u"\u00C4a");
  EXPECT_EQ(replaced(u"[@]", u"`", u"x", STRING_REPLACE_NOCASE), u"[@]");
}

TEST(StringReplace, StartPositionCountsFromOne) {
  EXPECT_EQ(replaced(u"aaaa", u"a", u"b", 0, 3), u"aabb");
  EXPECT_EQ(replaced(u"aaaa", u"a", u"b", 0, 0), u"bbbb");
  EXPECT_EQ(replaced(u"aaaa", u"a", u"b", 0, -7), u"bbbb");
  EXPECT_EQ(replaced(u"aaaa", u"a", u"b", 0, 4), u"aaab");
  EXPECT_EQ(replaced(u"aaaa", u"a", u"b", 0, 5), u"aaaa");
  EXPECT_EQ(replaced(u"abcabc", u"abc", u"xy", 0, 2), u"abcxy");
}

TEST(StringReplace, CountLimitsTheReplacementsAndTheLength) {
  EXPECT_EQ(replaced(u"a.a.a.a", u".", u"--", 0, 1, -1), u"a--a--a--a");
  EXPECT_EQ(replaced(u"a.a.a.a", u".", u"--", 0, 1, 2), u"a--a--a.a");
  EXPECT_EQ(replaced(u"a.a.a.a", u".", u"", 0, 1, 2), u"aaa.a");
  EXPECT_EQ(replaced(u"a.a.a.a", u".", u"--", 0, 1, 0), u"a.a.a.a");
  EXPECT_EQ(replaced(u"a.a.a.a", u".", u"", 0, 1, 0), u"a.a.a.a");
  // Below -1 allows exactly one replacement.
  EXPECT_EQ(replaced(u"a.a.a.a", u".", u"--", 0, 1, -2), u"a--a.a.a");
  EXPECT_EQ(replaced(u"a.a.a.a", u".", u"", 0, 1, -100), u"aa.a.a");
  EXPECT_EQ(replaced(u"a.a.a.a", u".", u"--", 0, 1, 99), u"a--a--a--a");
}

TEST(StringReplace, InPlaceOverwritesTheTextAndWritesNothingElse) {
  char16_t text[] = u"a.bxm.BXM.bxm";
  int32_t p = acc.position;
  String_Replace(text, u".bxm", u".map", STRING_REPLACE_INPLACE, 1, -1, p);
  EXPECT_EQ(std::u16string(text), u"a.map.BXM.map");
  EXPECT_EQ(acc.position, p);

  char16_t mixed[] = u"a.bxm.BXM.bxm";
  String_Replace(mixed, u".bxm", u".map", STRING_REPLACE_INPLACE | STRING_REPLACE_NOCASE, 3, 1, p);
  EXPECT_EQ(std::u16string(mixed), u"a.bxm.map.bxm");

  // Nothing happens for no count, an empty search, a start past the end, a
  // count below -1 or a replacement of another length.
  char16_t same[] = u"a.bxm";
  String_Replace(same, u".bxm", u".map", STRING_REPLACE_INPLACE, 1, 0, p);
  String_Replace(same, u"", u"", STRING_REPLACE_INPLACE, 1, -1, p);
  String_Replace(same, u".bxm", u".map", STRING_REPLACE_INPLACE, 6, -1, p);
  String_Replace(same, u".bxm", u".map", STRING_REPLACE_INPLACE, 1, -2, p);
  String_Replace(same, u".bxm", u".mapx", STRING_REPLACE_INPLACE, 1, -1, p);
  String_Replace(same, u".bxm", u".m", STRING_REPLACE_INPLACE, 1, -1, p);
  String_Replace(nullptr, u".bxm", u".map", STRING_REPLACE_INPLACE, 1, -1, p);
  EXPECT_EQ(std::u16string(same), u"a.bxm");
  EXPECT_EQ(acc.position, p);
}

TEST(StringReplace, ArgumentsInTheAccumulatorSurviveItsMove) {
  // text = "C:\maps\castle.bxm", search = PathPart(text), both protected operands.
  int32_t p = acc.position;
  String_Append(u"C:\\maps\\castle.bxm");
  acc.position += 2;
  int32_t searchAt = acc.position;
  String_PathPart(String_AddressOf(p + 1), searchAt);
  acc.position += 2;
  StringVar blocker = nullptr;
  fillToNearGrowth(6, &blocker);
  int32_t s = acc.position;
  char16_t* before = acc.buffer;
  // The result is the longer for a long replacement, so the reservation grows.
  String_Replace(at(p), at(searchAt), u"D:\\a much longer folder name\\", 0, 1, -1, s);
  if (kReallocAlwaysMoves) {
    ASSERT_NE(acc.buffer, before) << "the buffer did not move";
  }
  EXPECT_EQ(std::u16string(at(s)), u"D:\\a much longer folder name\\castle.bxm");
  EXPECT_EQ(std::u16string(at(p)), u"C:\\maps\\castle.bxm");
  acc.position = p;
  String_Free(blocker);
}

TEST(StringReplace, NestedResultAsArgumentGivesTheFileName) {
  // name = Replace(path, PathPart(path), ""), as the uploader takes a file name.
  StringVar path = nullptr;
  String_Assign(&path, u"C:\\maps\\castle.bxm");
  int32_t p = acc.position;
  String_PathPart(path, acc.position);
  acc.position += 2;
  const char16_t* directory = at(p);
  int32_t s = acc.position;
  String_Replace(path, directory, u"", s);
  StringVar name = nullptr;
  String_Store(&name, s);
  acc.position = p;
  EXPECT_EQ(std::u16string(name), u"castle.bxm");
  String_Free(name);
  String_Free(path);
}

TEST(StringPathPart, TakesEverythingUpToTheLastSeparator) {
  EXPECT_EQ(pathPart(u"C:\\maps\\castle.bxm"), u"C:\\maps\\");
  EXPECT_EQ(pathPart(u"/home/user/maps/castle.bxm"), u"/home/user/maps/");
  EXPECT_EQ(pathPart(u"C:\\maps/sub\\castle.bxm"), u"C:\\maps/sub\\");
  EXPECT_EQ(pathPart(u"C:\\maps\\"), u"C:\\maps\\");
  EXPECT_EQ(pathPart(u"castle.bxm"), u"");
  EXPECT_EQ(pathPart(u""), u"");
  EXPECT_EQ(pathPart(nullptr), u"");
}

TEST(StringPathPart, SkipsALeadingQuoteAndStopsAtABar) {
  EXPECT_EQ(pathPart(u"\"C:\\maps\\castle.bxm"), u"C:\\maps\\");
  EXPECT_EQ(pathPart(u"\"castle.bxm\""), u"");
  EXPECT_EQ(pathPart(u"\""), u"");
  EXPECT_EQ(pathPart(u"\"\\x"), u"\\");
  EXPECT_EQ(pathPart(u"C:\\a|b\\c"), u"C:\\");
  EXPECT_EQ(pathPart(u"|C:\\a"), u"");
}

TEST(StringPathPart, PathInTheAccumulatorSurvivesItsMove) {
  int32_t p = acc.position;
  String_Append(u"\"C:\\maps\\castle.bxm");
  acc.position += 2;
  StringVar blocker = nullptr;
  fillToNearGrowth(4, &blocker);
  int32_t s = acc.position;
  char16_t* before = acc.buffer;
  String_PathPart(at(p), s);
  if (kReallocAlwaysMoves) {
    ASSERT_NE(acc.buffer, before) << "the buffer did not move";
  }
  EXPECT_EQ(std::u16string(at(s)), u"C:\\maps\\");
  EXPECT_EQ(acc.position, s + 16);
  acc.position = p;
  String_Free(blocker);
}

// A scratch directory with a few files, removed afterwards.
class FileSize : public testing::Test {
 protected:
  fs::path dir;
  void SetUp() override {
    dir = Test_MakeTempDirectory("tilepost-filesize");
    fs::create_directories(dir / "sub");
    std::ofstream(dir / "castle.bxm", std::ios::binary) << "12345";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  std::u16string path(const char* relative = "") const { return (dir / relative).u16string(); }
};

TEST_F(FileSize, FileMissingAndEmpty) {
  EXPECT_EQ(File_Size(path("castle.bxm").c_str()), 5);
  EXPECT_EQ(File_Size(path("missing.bxm").c_str()), -1);
  EXPECT_EQ(File_Size(u""), -1);
  EXPECT_EQ(File_Size(nullptr), -1);
  // Longer than the look-up buffer: cut, not overrun.
  std::u16string longName = path() + std::u16string(1000, u'a');
  EXPECT_EQ(File_Size(longName.c_str()), -1);
}

TEST_F(FileSize, DirectoriesWithOrWithoutSeparator) {
  std::u16string sub = path("sub");
  EXPECT_EQ(File_Size(sub.c_str()), -2);
  EXPECT_EQ(File_Size((sub + u"/").c_str()), -2);
  EXPECT_EQ(File_Size((sub + u"\\").c_str()), -2);
  EXPECT_EQ(File_Size((sub + u"//").c_str()), -2);
  EXPECT_EQ(File_Size(u".."), -2);
}

TEST_F(FileSize, SizeBeyondFourGigabytesKeepsItsHighPart) {
  const uintmax_t size = (5ull << 30) + 7;
  std::error_code error;
  fs::resize_file(dir / "castle.bxm", size, error);
  if (error) GTEST_SKIP() << "no sparse file of 5 GiB here: " << error.message();
  EXPECT_EQ(File_Size(path("castle.bxm").c_str()), static_cast<int64_t>(size));
}

TEST_F(FileSize, WildcardAnswersForTheFirstMatch) {
  std::ofstream(dir / "a.bxm", std::ios::binary) << "123";
#ifdef _WIN32
  EXPECT_TRUE(File_Size(path("*.bxm").c_str()) == 3 || File_Size(path("*.bxm").c_str()) == 5);
#else
  // The substitute reports matches in name order.
  EXPECT_EQ(File_Size(path("*.bxm").c_str()), 3);
#endif
  EXPECT_EQ(File_Size(path("c?stle.bxm").c_str()), 5);
  EXPECT_EQ(File_Size(path("*.txt").c_str()), -1);
  EXPECT_EQ(File_Size(path("s*").c_str()), -2);
}

#ifndef _WIN32
// Linux has a root but no drives.
TEST_F(FileSize, RootIsADirectoryAndDriveNamesAreNotFound) {
  EXPECT_EQ(File_Size(u"/"), -2);
  EXPECT_EQ(File_Size(u"\\"), -2);
  EXPECT_EQ(File_Size(u"C:"), -1);
  EXPECT_EQ(File_Size(u"C:\\"), -1);
  EXPECT_EQ(File_Size(u"C:/"), -1);
  EXPECT_EQ(File_Size(u"\\\\server\\share"), -1);
}

TEST_F(FileSize, ThreeCharactersWithAColonCanNameAFile) {
  std::ofstream(dir / "C:x", std::ios::binary) << "1234";
  fs::path previous = fs::current_path();
  fs::current_path(dir);
  int64_t size = File_Size(u"C:x");
  fs::current_path(previous);
  EXPECT_EQ(size, 4);
}
#endif

}  // namespace
