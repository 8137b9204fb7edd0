#include "camera/sdk/CodeTables.h"

#include <gtest/gtest.h>

#include <string>

namespace korv {
namespace {

using S = CameraSetting;
constexpr CodeSet CD = CodeSet::CD;
constexpr CodeSet PR = CodeSet::PR;

struct Conversion {
  CodeSet Set;
  CameraSetting Setting;
  uint8_t Ordinal;
  uint32_t Code;
};

std::string Describe(const Conversion& c) {
  return std::string(c.Set == CD ? "CD" : "PR") + " setting " + std::to_string(int(c.Setting)) + " ordinal " +
         std::to_string(c.Ordinal) + " code " + std::to_string(c.Code);
}

TEST(CodeTablesTest, OrdinalsBecomeTheirCodes) {
  const Conversion cases[] = {Conversion{CD, S::Quality, 4, 5}, Conversion{CD, S::Quality, 5, 4},
                      Conversion{PR, S::Quality, 4, 5}, Conversion{PR, S::Quality, 5, 4},
                      Conversion{CD, S::ImageSize, 4, 5}, Conversion{PR, S::ImageSize, 2, 0xFF},
                      Conversion{PR, S::ImageSize, 4, 1}, Conversion{CD, S::ShootingMode, 2, 4},
                      Conversion{CD, S::ShootingMode, 17, 2}, Conversion{CD, S::ShootingMode, 22, 101},
                      Conversion{CD, S::ShootingMode, 36, 128}, Conversion{PR, S::ShootingMode, 3, 0xFF},
                      Conversion{PR, S::ShootingMode, 27, 0xFF}, Conversion{PR, S::ShootingMode, 36, 140},
                      Conversion{CD, S::Av, 1, 8}, Conversion{CD, S::Av, 2, 11}, Conversion{CD, S::Av, 3, 13},
                      Conversion{CD, S::Av, 10, 32}, Conversion{CD, S::Av, 22, 64}, Conversion{CD, S::Av, 40, 112},
                      Conversion{PR, S::Av, 41, 0xFFFF}, Conversion{CD, S::Tv, 1, 4}, Conversion{CD, S::Tv, 2, 16},
                      Conversion{CD, S::Tv, 4, 21}, Conversion{CD, S::Tv, 7, 29}, Conversion{CD, S::Tv, 17, 56},
                      Conversion{CD, S::Tv, 59, 168}, Conversion{CD, S::Tv, 0, 0xFFFF},
                      Conversion{CD, S::ExposureCompensation, 7, 24}, Conversion{PR, S::FlashCompensation, 13, 40},
                      Conversion{CD, S::WhiteBalance, 7, 14}, Conversion{CD, S::WhiteBalance, 13, 9},
                      Conversion{CD, S::WhiteBalance, 0, 0x7FFF}, Conversion{PR, S::WhiteBalance, 6, 0xFF},
                      Conversion{PR, S::WhiteBalance, 8, 10}, Conversion{PR, S::AFDistance, 9, 0xFF},
                      Conversion{CD, S::AFDistance, 12, 11}, Conversion{CD, S::FlashMode, 3, 2},
                      Conversion{CD, S::MeteringMode, 6, 5}, Conversion{CD, S::ISO, 1, 0},
                      Conversion{CD, S::ISO, 8, 0x70}, Conversion{CD, S::Contrast, 1, 0xFF},
                      Conversion{PR, S::Sharpness, 3, 1}, Conversion{CD, S::ColorSaturation, 0, 0x7F},
                      Conversion{CD, S::PhotoEffect, 2, 0xFFFF}, Conversion{CD, S::PhotoEffect, 6, 4},
                      Conversion{PR, S::PhotoEffect, 2, 1}, Conversion{CD, S::Beep, 1, 1},
                      Conversion{PR, S::Beep, 2, 0}, Conversion{CD, S::Quality, 6, 0xFFFF}};
  for (const Conversion& c : cases) {
    SCOPED_TRACE(Describe(c));
    EXPECT_EQ(OrdinalToCode(c.Set, c.Setting, c.Ordinal), c.Code);
  }
}

TEST(CodeTablesTest, CodesBecomeTheirOrdinals) {
  const Conversion cases[] = {Conversion{CD, S::Av, 40, 0xFFFF}, Conversion{PR, S::Av, 40, 112}, Conversion{CD, S::Av, 0, 7},
                      Conversion{CD, S::Av, 0, 0}, Conversion{CD, S::Av, 1, 8}, Conversion{CD, S::Av, 1, 9},
                      Conversion{CD, S::Av, 2, 12}, Conversion{CD, S::Av, 3, 15}, Conversion{CD, S::Av, 39, 111},
                      Conversion{CD, S::Tv, 59, 0xFFFF}, Conversion{CD, S::Tv, 0, 3}, Conversion{CD, S::Tv, 1, 4},
                      Conversion{CD, S::Tv, 1, 15}, Conversion{CD, S::Tv, 2, 16}, Conversion{CD, S::Tv, 4, 21},
                      Conversion{CD, S::Tv, 4, 23}, Conversion{CD, S::Tv, 58, 167},
                      Conversion{CD, S::WhiteBalance, 0, 13}, Conversion{CD, S::WhiteBalance, 9, 15},
                      Conversion{PR, S::WhiteBalance, 7, 14}, Conversion{PR, S::WhiteBalance, 7, 7},
                      Conversion{PR, S::WhiteBalance, 0, 5}, Conversion{CD, S::Contrast, 1, 0xFF},
                      Conversion{CD, S::Contrast, 0, 0x7F}, Conversion{CD, S::Quality, 5, 4},
                      Conversion{CD, S::Quality, 4, 5}, Conversion{CD, S::ImageSize, 0, 3},
                      Conversion{PR, S::ImageSize, 5, 3}, Conversion{CD, S::ShootingMode, 0, 0x0FFF},
                      Conversion{PR, S::ShootingMode, 0, 0xFF}, Conversion{CD, S::PhotoEffect, 0, 0xFFFF},
                      Conversion{CD, S::ISO, 3, 0x48}, Conversion{CD, S::ISO, 0, 0x41}};
  for (const Conversion& c : cases) {
    SCOPED_TRACE(Describe(c));
    EXPECT_EQ(CodeToOrdinal(c.Set, c.Setting, c.Code), c.Ordinal);
  }
}

// Every ordinal with a code comes back as itself; the tables are exact
// inverses everywhere except where a range or the PR extra code says so.
TEST(CodeTablesTest, EveryTableRoundTrips) {
  for (CodeSet set : {CD, PR}) {
    for (int s = 0; s < CameraSettingCount; ++s) {
      const auto setting = static_cast<CameraSetting>(s);
      const uint8_t count = OrdinalCount(setting);
      ASSERT_GT(count, 0);
      for (uint8_t ordinal = 1; ordinal <= count; ++ordinal) {
        const uint32_t code = OrdinalToCode(set, setting, ordinal);
        if (code == NoValueCode(set, setting)) continue;
        EXPECT_EQ(CodeToOrdinal(set, setting, code), ordinal) << "set " << int(set) << " setting " << s;
      }
    }
  }
}

TEST(CodeTablesTest, OrdinalCountsMatchTheSettings) {
  const uint8_t expected[CameraSettingCount] = {5, 6, 36, 40, 59, 13, 16, 12, 7, 13, 6, 8, 3, 3, 3, 6, 2};
  for (int s = 0; s < CameraSettingCount; ++s) EXPECT_EQ(OrdinalCount(static_cast<CameraSetting>(s)), expected[s]);
}

TEST(CodeTablesTest, CodesWithoutOrdinalGiveZero) {
  for (CodeSet set : {CD, PR})
    for (int s = 0; s < CameraSettingCount; ++s) {
      const auto setting = static_cast<CameraSetting>(s);
      if (setting == S::Av || setting == S::Tv) continue;
      EXPECT_EQ(CodeToOrdinal(set, setting, 0x12345), 0);
    }
}

}  // namespace
}  // namespace korv
