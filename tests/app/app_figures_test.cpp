// The progress screen's figures: kilobytes, percentage and bar from the
// upload's progress and the browsed size, and the texts they become.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "app/uploader.h"
#include "core/strfunc.h"
#include "core/string.h"
#include "ftp/ftp.h"

namespace {

// The text String_FormatFloat gives with two decimals and a unit.
std::u16string shown(double value, const char16_t* unit) {
  const int32_t start = String_Accumulator.position;
  String_FormatFloat(value, 2, start);
  String_Append(unit);
  std::u16string text(
      reinterpret_cast<const char16_t*>(reinterpret_cast<const char*>(String_Accumulator.buffer) + start));
  String_Accumulator.position = start;
  return text;
}

TEST(UploadFigures, TheWorkedExample) {
  const int32_t sizeKb = Uploader_SizeKb(3000000);
  EXPECT_EQ(sizeKb, 2929);
  EXPECT_EQ(shown(sizeKb / 1024.0, u" MB"), u"2.86 MB");
  const UploadFigures half = Uploader_Figures(1500000, sizeKb);
  EXPECT_EQ(half.sentKb, 1464);
  EXPECT_EQ(half.percent, 49.98293f);
  EXPECT_EQ(shown(half.sentKb / 1024.0, u" MB"), u"1.43 MB");
  EXPECT_EQ(shown(half.percent, u" Percent"), u"49.98 Percent");
  EXPECT_EQ(half.barValue, 50);
}

TEST(UploadFigures, ProgressStatesReadAsNothingSent) {
  for (int64_t state : {FTP_PROGRESS_STARTING, FTP_PROGRESS_FAILED, FTP_PROGRESS_FINISHED, int64_t{0}}) {
    const UploadFigures figures = Uploader_Figures(state, 2929);
    EXPECT_EQ(figures.sentKb, 0) << state;
    EXPECT_EQ(figures.percent, 0.0f) << state;
    EXPECT_EQ(figures.barValue, 0) << state;
  }
  EXPECT_EQ(Uploader_SizeKb(-1), 0);
  EXPECT_EQ(Uploader_SizeKb(-2), 0);
  EXPECT_EQ(Uploader_SizeKb(1023), 0);
}

TEST(UploadFigures, ASizeOfNoKilobytesGivesNaNOrInfinityAndAnEmptyBar) {
  const UploadFigures empty = Uploader_Figures(FTP_PROGRESS_FINISHED, 0);
  EXPECT_TRUE(std::isnan(empty.percent));
  EXPECT_EQ(shown(empty.percent, u" Percent"), u"NaN Percent");
  // Passed as the most negative value, which the bar shows as its minimum.
  EXPECT_EQ(empty.barValue, std::numeric_limits<int32_t>::min());
  const UploadFigures edited = Uploader_Figures(5000, 0);
  EXPECT_TRUE(std::isinf(edited.percent));
  EXPECT_EQ(shown(edited.percent, u" Percent"), u"+Infinity Percent");
  // Not finite either: the bar's minimum, not a full bar.
  EXPECT_EQ(edited.barValue, std::numeric_limits<int32_t>::min());
}

TEST(UploadFigures, SizesAndProgressBeyondFourGibibytesKeepTheirValue) {
  // 5,000,000,000 bytes: the low 32 bits alone would be 705,032,704.
  const int32_t sizeKb = Uploader_SizeKb(5000000000);
  EXPECT_EQ(sizeKb, 4882812);
  EXPECT_EQ(shown(sizeKb / 1024.0, u" MB"), u"4768.37 MB");
  const UploadFigures figures = Uploader_Figures(4500000000, sizeKb);
  EXPECT_EQ(figures.sentKb, 4394531);
  EXPECT_EQ(shown(figures.sentKb / 1024.0, u" MB"), u"4291.53 MB");
  EXPECT_EQ(figures.barValue, 90);
}

TEST(UploadFigures, PercentagesAboveAHundredAndHalvesRoundAsTheBarShowsThem) {
  // A path edited after Browse to a larger file.
  EXPECT_EQ(Uploader_Figures(2048 * 1024, 1024).barValue, 200);
  // 1 KB of 8 KB is 12.5 %: halves go to the even neighbour.
  EXPECT_EQ(Uploader_Figures(1024, 8).barValue, 12);
  EXPECT_EQ(Uploader_Figures(3 * 1024, 8).barValue, 38);  // 37.5
  // Far beyond the integer range, the bar is held full rather than wrapped.
  EXPECT_EQ(Uploader_Figures(int64_t{2000000000} * 1024, 1).barValue, std::numeric_limits<int32_t>::max());
}

}  // namespace
