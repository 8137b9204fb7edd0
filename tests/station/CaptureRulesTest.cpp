#include <gtest/gtest.h>

#include "runtime/Exception.h"
#include "station/CaptureCycle.h"
#include "station/Presets.h"

namespace korv::test {
namespace {

TEST(CaptureCycleTest, SwitchHoursFollowTheMonth) {
  const SwitchHours expected[12] = {{17, 7}, {18, 6}, {19, 5}, {20, 5}, {21, 4}, {22, 4},
                                    {22, 4}, {21, 5}, {20, 5}, {19, 6}, {18, 6}, {17, 7}};
  for (int month = 1; month <= 12; ++month) {
    SCOPED_TRACE(month);
    EXPECT_EQ(switch_hours(month).Evening, expected[month - 1].Evening);
    EXPECT_EQ(switch_hours(month).Morning, expected[month - 1].Morning);
  }
  EXPECT_THROW(switch_hours(0), EAssertionFailed);
  EXPECT_THROW(switch_hours(13), EAssertionFailed);
}

struct SwitchCase {
  uint16_t Hour, LastHour;
  bool Morning, Evening;  // with morning hour 5 and evening hour 19 (March)
};

TEST(CaptureCycleTest, SwitchesFireOnlyOnTheFirstTickPastTheirHour) {
  const SwitchCase cases[] = {
      {14, 0, false, false},  // started in the afternoon
      {18, 14, false, false}, {19, 18, false, true}, {19, 19, false, false}, {23, 19, false, false},
      {20, 0, false, true},   // started after the evening hour
      {0, 23, false, false},  {4, 3, false, false},   {5, 4, true, false},   {6, 5, false, false},
      {8, 0, true, false},    // started after the morning hour
      {12, 0, false, false},  // noon belongs to neither switch
  };
  for (const SwitchCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Hour << " after " << c.LastHour);
    EXPECT_EQ(MorningSwitchDue(c.Hour, c.LastHour, 5), c.Morning);
    EXPECT_EQ(EveningSwitchDue(c.Hour, c.LastHour, 19), c.Evening);
  }
}

TEST(CaptureCycleTest, PictureNamesArePaddedToSixDigitsNeverCut) {
  EXPECT_EQ(PictureFileName(1), "000001.jpg");
  EXPECT_EQ(PictureFileName(123), "000123.jpg");
  EXPECT_EQ(PictureFileName(999999), "999999.jpg");
  EXPECT_EQ(PictureFileName(1000000), "1000000.jpg");
  EXPECT_EQ(PictureFileName(2147483647), "2147483647.jpg");
}

TEST(PresetsTest, ListItemsGiveTheirSettingCodes) {
  auto codes = [](std::optional<uint8_t> (*of)(int), int count) {
    std::vector<int> result;
    for (int item = -1; item <= count; ++item) result.push_back(of(item) ? *of(item) : 0);
    return result;
  };
  // From item -1 (no selection) to one past the last item: 0 = not set.
  EXPECT_EQ(codes(ImageSizeOfItem, 6), (std::vector<int>{0, 1, 2, 4, 5, 6, 3, 0}));
  EXPECT_EQ(codes(AvOfItem, 6), (std::vector<int>{0, 0, 10, 13, 16, 19, 22, 0}));
  EXPECT_EQ(codes(TvOfItem, 7), (std::vector<int>{0, 0, 17, 14, 10, 7, 5, 2, 0}));
  EXPECT_EQ(codes(IsoOfItem, 7), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 0}));
  EXPECT_EQ(FlashModeOf(true), 3);
  EXPECT_EQ(FlashModeOf(false), 1);
}

TEST(PresetsTest, PresetValuesPickTheirListItems) {
  EXPECT_EQ(ExposureItemOf(0), 0);
  EXPECT_EQ(ExposureItemOf(2), 2);
  EXPECT_EQ(ExposureItemOf(30), 6);
  EXPECT_EQ(ExposureItemOf(3), std::nullopt);
  EXPECT_EQ(ApertureItemOf(0), 0);
  EXPECT_EQ(ApertureItemOf(8), 4);
  EXPECT_EQ(ApertureItemOf(11), std::nullopt);
  EXPECT_EQ(IsoItemOf(50), 1);
  EXPECT_EQ(IsoItemOf(1600), 6);
  EXPECT_EQ(IsoItemOf(64), std::nullopt);
}

}  // namespace
}  // namespace korv::test
