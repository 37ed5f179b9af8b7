// Tests of the string engine: variables, the accumulator, its growth and the expression protocol.
#include "core/string.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "tests/support/accumulator.h"

namespace {

StringAccumulator& acc = String_Accumulator;

// Every case starts from an engine as start-up leaves it: 16 bytes, position 0.
class StringEngine : public testing::Test {
 protected:
  void SetUp() override {
    String_End();
    String_Init();
  }
};

TEST_F(StringEngine, FirstAppendGrowsFreshAccumulatorWithHeadroom) {
  ASSERT_EQ(acc.capacity, 16);
  ASSERT_EQ(acc.position, 0);
  String_Append(u"castle");
  // 0 + 12 >= 16 - 4: the 12 bytes need growth to 12 + 16384.
  EXPECT_EQ(acc.capacity, 16396);
  EXPECT_EQ(acc.position, 12);
  EXPECT_EQ(std::u16string(acc.buffer), u"castle");
}

TEST_F(StringEngine, GrowthHappensExactlyWhenTerminatorAndGuardWouldNotFit) {
  String_Append(u"castle");  // capacity 16396, position 12
  // 12 + 2 * 8189 = 16390 < 16392: no growth, and position + 4 < capacity still holds.
  std::u16string fill(8189, u'x');
  String_Append(fill.c_str());
  EXPECT_EQ(acc.capacity, 16396);
  EXPECT_EQ(acc.position, 16390);
  EXPECT_LT(acc.position + 4, acc.capacity);
  // One more character reaches capacity - 4 and grows.
  String_Append(u"y");
  EXPECT_EQ(acc.capacity, 16392 + 16384);
  EXPECT_EQ(acc.position, 16392);
  EXPECT_EQ(*at(acc.position), 0);
  EXPECT_EQ(std::u16string(acc.buffer), u"castle" + fill + u"y");
}

TEST_F(StringEngine, AppendOfNullWritesOnlyATerminator) {
  String_Append(u"ab");
  *at(acc.position) = u'?';
  String_Append(nullptr);
  EXPECT_EQ(acc.position, 4);
  EXPECT_EQ(*at(acc.position), 0);

  StringVar v = nullptr;
  int32_t p = acc.position;
  String_Append(nullptr);
  String_Store(&v, p);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(std::u16string(v), u"");
  String_Free(v);
}

TEST_F(StringEngine, StoreMovesTheTextIntoTheVariableAndRewinds) {
  StringVar v = nullptr;
  String_Assign(&v, u"a much longer text than the new one");
  String_Append(u"prefix");
  int32_t p = acc.position;
  String_Append(u"new");
  String_Append(u" text");
  String_Store(&v, p);
  EXPECT_EQ(std::u16string(v), u"new text");
  EXPECT_EQ(acc.position, p);
  EXPECT_EQ(std::u16string(acc.buffer, 6), u"prefix");

  // Start = position gives a non-null empty string, not a null one.
  StringVar empty = nullptr;
  String_Store(&empty, acc.position);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], 0);
  String_Free(v);
  String_Free(empty);
}

TEST_F(StringEngine, AssignCopiesAndNullEmpties) {
  StringVar v = nullptr;
  String_Assign(&v, u"first");
  EXPECT_EQ(std::u16string(v), u"first");
  String_Assign(&v, u"a second, longer text");
  EXPECT_EQ(std::u16string(v), u"a second, longer text");
  String_Assign(&v, u"");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v[0], 0);
  String_Assign(&v, nullptr);
  EXPECT_EQ(v, nullptr);
}

TEST_F(StringEngine, AssignFromTheVariablesOwnTextKeepsIt) {
  StringVar v = nullptr;
  String_Assign(&v, u"C:\\maps\\castle.bxm");
  String_Assign(&v, v + 8);
  EXPECT_EQ(std::u16string(v), u"castle.bxm");
  String_Assign(&v, v);
  EXPECT_EQ(std::u16string(v), u"castle.bxm");
  String_Free(v);
}

TEST_F(StringEngine, AssignNewNeitherReadsNorReleasesTheOldValue) {
  StringVar original = nullptr;
  String_Assign(&original, u"kept");
  StringVar v = original;
  String_AssignNew(&v, nullptr);
  EXPECT_EQ(v, original);
  String_AssignNew(&v, u"fresh");
  EXPECT_NE(v, original);
  EXPECT_EQ(std::u16string(v), u"fresh");
  EXPECT_EQ(std::u16string(original), u"kept");
  String_Free(v);
  String_Free(original);
  String_Free(nullptr);
}

TEST_F(StringEngine, ReserveThenGiveBackEndsAfterTheCharactersWritten) {
  String_Append(u"x=");
  int32_t s = acc.position;
  char16_t* out = String_Reserve(10, s);
  EXPECT_EQ(acc.position, s + 20);
  String_CopyChars(out, u"abc", 3);
  String_GiveBack(7);
  EXPECT_EQ(acc.position, s + 6);
  EXPECT_EQ(std::u16string(acc.buffer), u"x=abc");
}

TEST_F(StringEngine, OffsetOfCountsTheTerminatorsPlaceAsInside) {
  String_Append(u"abcd");
  EXPECT_EQ(String_OffsetOf(acc.buffer), 1);
  EXPECT_EQ(String_OffsetOf(at(acc.position)), acc.position + 1);
  EXPECT_EQ(String_OffsetOf(at(acc.position + 2)), 0);
  EXPECT_EQ(String_OffsetOf(acc.buffer - 1), 0);
  char16_t elsewhere[4] = u"abc";
  EXPECT_EQ(String_OffsetOf(elsewhere), 0);
  EXPECT_EQ(String_AddressOf(String_OffsetOf(at(4))), at(4));
}

TEST(StringCopyChars, WritesExactlyTheCharactersAndOneTerminator) {
  for (int32_t n : {0, 1, 2, 3, 4}) {
    char16_t destination[8];
    std::fill(std::begin(destination), std::end(destination), u'#');
    String_CopyChars(destination, u"abcd", n);
    EXPECT_EQ(std::u16string(destination), std::u16string(u"abcd", n));
    for (int i = n + 1; i < 8; i++) EXPECT_EQ(destination[i], u'#') << "n=" << n << " i=" << i;
  }
}

TEST_F(StringEngine, AppendOfAProtectedResultSurvivesTheMove) {
  // A protected operand lies in the accumulator; appending it again needs growth.
  String_Append(u"castle");
  int32_t p = acc.position;
  String_Append(u"map");
  acc.position += 2;
  std::u16string fill(acc.capacity / 2 - acc.position / 2 - 5, u'.');
  String_Append(fill.c_str());
  char16_t* argument = at(p);
  // Blocks growth in place, so that the buffer has to move.
  StringVar blocker = nullptr;
  String_Assign(&blocker, u"blocker");
  char16_t* before = acc.buffer;
  String_Append(argument);
  if (kReallocAlwaysMoves) {
    ASSERT_NE(acc.buffer, before) << "the buffer did not move";
  }
  EXPECT_EQ(std::u16string(at(acc.position - 6)), u"map");
  String_Free(blocker);
}

// A text whose terminator is the accumulator's own terminator (the last
// operand, read again) ends where the copy begins: it is measured before it is
// copied, both with room to spare and when it needs growth.
TEST_F(StringEngine, AppendOfTheTextEndingAtThePositionDoublesIt) {
  String_Append(u"castle");
  String_Append(acc.buffer);
  EXPECT_EQ(std::u16string(acc.buffer), u"castlecastle");
  EXPECT_EQ(acc.position, 24);
  EXPECT_EQ(acc.capacity, 16396);

  // A suffix of the text, at the growth point.
  std::u16string fill(acc.capacity / 2 - acc.position / 2 - 8, u'.');
  String_Append(fill.c_str());
  const int32_t start = acc.position;
  String_Append(u"tower");
  const int32_t capacity = acc.capacity;
  String_Append(at(start));
  EXPECT_GT(acc.capacity, capacity);
  EXPECT_EQ(std::u16string(at(start)), u"towertower");
  EXPECT_EQ(acc.position, start + 20);
}

TEST(StringLength, CountsCharactersAndNullAsEmpty) {
  EXPECT_EQ(String_Length(nullptr), 0);
  EXPECT_EQ(String_Length(u""), 0);
  EXPECT_EQ(String_Length(u"castle.bxm"), 10);
}

TEST(StringPrint, FormatsTheRuntimesNames) {
  char16_t out[64];
  EXPECT_EQ(String_Print(out, u"WindowClass_%d", 7), 13);
  EXPECT_EQ(std::u16string(out), u"WindowClass_7");
  EXPECT_EQ(String_Print(out, u"RT_GadgetStack_%i", -12), 18);
  EXPECT_EQ(std::u16string(out), u"RT_GadgetStack_-12");
  EXPECT_EQ(String_Print(out, u"%s|%%|%.3f", u"text", 2.5), 12);
  EXPECT_EQ(std::u16string(out), u"text|%|2.500");
}

#ifndef _WIN32
// The fault hook exists in the Linux substitute only.
using StringEngineDeathTest = StringEngine;

TEST_F(StringEngineDeathTest, ExhaustedStringHeapEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        Platform_FailHeapAfter(0);
        String_Append(u"needs growth");
      },
      "out of memory");
  EXPECT_DEATH(
      {
        StringVar v = nullptr;
        Platform_FailHeapAfter(0);
        String_Assign(&v, u"text");
      },
      "out of memory");
  EXPECT_DEATH(
      {
        StringVar v = nullptr;
        String_Append(u"text");
        Platform_FailHeapAfter(0);
        String_Store(&v, 0);
      },
      "out of memory");
}
#endif

}  // namespace
