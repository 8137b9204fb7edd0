// The station left alone through a winter dusk on the fast clock with the
// steering on: the simulated sky stays within the band as the day preset's
// metering runs out, through the evening switch and into the night.
#include <gtest/gtest.h>

#include <QComboBox>

#include <cmath>
#include <cstdlib>

#include "camera/Obturo.h"
#include "station/Station.h"
#include "tests/support/StationDay.h"
#include "tests/support/TempDir.h"

namespace korv::test {
namespace {

// Before anything reads the clock: 14:00 local, five minutes a second.
const bool kClockSet = [] {
  setenv("KORV_CLOCK", "2026-12-09 14:00 x300", 1);
  unsetenv("KORV_CLOCK_ANCHOR");
  return true;
}();

TEST(ExposureDusk, TheSkyStaysWithinTheBandFromAfternoonIntoNight) {
  ASSERT_TRUE(kClockSet);
  TempDir folder;
  StationDay day(folder.path(), {.AutoExposure = 0.3});
  const int64_t start = TheClock().Now().UnixTime / 3600 * 3600 + 3600;  // 15:00
  int pictures = 0, inBand = 0, switches = 0, preset = 0;
  for (int minute = 0; minute <= 180; minute += 5) {
    SCOPED_TRACE(minute);
    const auto picture = day.TakeAt(start + minute * 60);
    ASSERT_TRUE(picture && picture->Mean) << ::testing::PrintToString(day.Errors());
    ++pictures;
    inBand += std::abs(*picture->Mean - 0.3) <= 0.1;
    switches += preset != 0 && picture->Preset != preset;
    preset = picture->Preset;
  }
  EXPECT_GE(inBand * 10, pictures * 9) << inBand << " of " << pictures;
  EXPECT_EQ(switches, 1);
  const std::string log = ReadFile(folder.file(kLogFile));
  const SteeringFigures steering = SteeringOf(log, 0.3);
  EXPECT_GT(steering.Changes, 3) << log;
  EXPECT_LE(steering.Reversals, switches) << log;
  // The lists show what the camera holds.
  TForm1& form = day.Form();
  const ExposureListTexts held = ListTextsOf(ExposureOf(form.Obturo1->GetCameraSettings(), false));
  EXPECT_EQ(form.ComboBox4->currentText().toStdString(), held.Exposure);
  EXPECT_EQ(form.ComboBox2->currentText().toStdString(), held.Iso);
}

}  // namespace
}  // namespace korv::test
