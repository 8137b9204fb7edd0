// A whole day of the simulated sky, a picture every 5 minutes, exposed by
// today's presets and by the steering, on a clear day and at 60 % cloud.
// Prints per run the share of pictures within ±0.1 of the target, the
// largest step of the mean between two pictures in a row, the reversals of
// the exposure's direction and the preset switches; writes a strip of
// hourly thumbnails of the runs (PNG) to the path given.
//   station_exposure_run [strip.png] [target]
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "camera/sdk/CodeTables.h"
#include "camsim/SkyPicture.h"
#include "exposure/Brightness.h"
#include "exposure/ExposureSteering.h"
#include "station/CaptureCycle.h"
#include "station/Presets.h"
#include "station/window/JpegPreview.h"

using namespace korv;

namespace {

constexpr int kMonth = 12, kDay = 9;  // a long winter night
constexpr int kStepMinutes = 5;
constexpr int kThumbW = 48, kThumbH = 36;
const Exposure kNightPreset{false, 7, 5, 0, 2};  // night 3: 15 s, ISO 50, the camera's aperture
const Exposure kDayPreset{true, 7, 0, 0, 1};

// The simulated PowerShot's lists, as the camera reports them.
TRemoteCapabilities PowerShotLists() {
  TRemoteCapabilities caps{};
  auto mark = [&](CameraSetting s, int from, int to) {
    for (int o = from; o <= to; ++o) caps[static_cast<size_t>(CapabilityBase(s) + o)] = 1;
  };
  mark(CameraSetting::Tv, 2, 49);
  mark(CameraSetting::Av, 7, 19);
  mark(CameraSetting::ISO, 1, 7);
  mark(CameraSetting::ExposureCompensation, 1, 13);
  return caps;
}

camsim::ExposureCodes CodesOf(const Exposure& e) {
  auto code = [](CameraSetting s, uint8_t o) { return OrdinalToCode(CodeSet::CD, s, o); };
  camsim::ExposureCodes codes;
  codes.Automatic = e.Metered;
  codes.ExposureComp = code(CameraSetting::ExposureCompensation, e.Compensation);
  if (e.Tv) codes.Tv = code(CameraSetting::Tv, e.Tv);
  if (e.Av) codes.Av = code(CameraSetting::Av, e.Av);
  codes.Iso = e.Iso < 2 ? 0 : code(CameraSetting::ISO, e.Iso);
  return codes;
}

double StopsOf(const Exposure& e) {
  auto c = CodesOf(e);
  if (e.Metered) return (double(c.ExposureComp) - 24) / 8;  // relative only
  return (56 - double(c.Tv)) / 8 - (double(c.Av) - 8) / 8 + (c.Iso ? (double(c.Iso) - 0x48) / 8 : 0);
}

struct Figures {
  int Pictures = 0, InBand = 0, Reversals = 0, Switches = 0, Changes = 0;
  double LargestStep = 0;
};

// One day: the mean of each picture's preview, its thumbnail in row `row` of `strip`.
Figures RunDay(int clouds, bool steered, double target, QImage& strip, int row) {
  ExposureSteering steering(target);
  const TRemoteCapabilities lists = PowerShotLists();
  const SwitchHours hours = switch_hours(kMonth);
  Figures f;
  Exposure current = kNightPreset;
  int preset = 5, lastDirection = 0;
  double lastMean = -1;
  QPainter painter(&strip);
  for (int minute = 0; minute < 24 * 60; minute += kStepMinutes) {
    const int hour = minute / 60;
    const int due = hour >= hours.Morning && hour < hours.Evening ? 1 : 5;
    if (due != preset) {  // the switch sets its preset's values; the steering goes on from a night's own
      ++f.Switches;
      preset = due;
      if (!steered || preset == 1 || current.Metered) current = preset == 1 ? kDayPreset : kNightPreset;
    }
    camsim::SkyShot shot;
    shot.Width = 320;
    shot.Height = 240;
    camsim::CameraProfile profile;
    profile.Month = kMonth, profile.Day = kDay, profile.Hour = hour, profile.Minute = minute % 60;
    profile.CloudPercent = clouds;
    camsim::Expose(shot, profile, CodesOf(current), static_cast<uint32_t>(minute));
    const std::string jpeg = camsim::RenderSkyJpeg(shot);
    const QImage preview = DecodeJpeg({reinterpret_cast<const uint8_t*>(jpeg.data()), jpeg.size()}, 4);
    const auto mean = MeanBrightness({preview.constBits(), preview.width(), preview.height(),
                                      static_cast<size_t>(preview.bytesPerLine()), 4});
    ++f.Pictures;
    if (mean && std::abs(*mean - target) <= 0.1) ++f.InBand;
    if (mean && lastMean >= 0) f.LargestStep = std::max(f.LargestStep, std::abs(*mean - lastMean));
    if (mean) lastMean = *mean;
    if (minute % 60 == 0)
      painter.drawImage(QRect(hour * kThumbW, row * kThumbH, kThumbW, kThumbH), preview);
    if (!steered) continue;
    steering.Accepted(current);
    std::string line;
    if (auto next = steering.Next(mean, preset, lists, &line)) {
      const int direction = StopsOf(*next) > StopsOf(current) ? 1 : -1;
      if (next->Metered == current.Metered && lastDirection != 0 && direction != lastDirection) ++f.Reversals;
      lastDirection = direction;
      ++f.Changes;
      if (std::getenv("KORV_EXPOSURE_LOG")) std::printf("%02d:%02d %s\n", hour, minute % 60, line.c_str());
      current = *next;
    }
  }
  return f;
}

}  // namespace


int main(int argc, char** argv) {
  const std::string stripPath = argc > 1 ? argv[1] : "exposure-day.png";
  const double target = argc > 2 ? std::atof(argv[2]) : kDefaultExposureTarget;
  QImage strip(24 * kThumbW, 4 * kThumbH, QImage::Format_RGB32);
  strip.fill(Qt::black);
  std::printf("target %.2f, %02d-%02d, a picture every %d minutes\n", target, kMonth, kDay, kStepMinutes);
  std::printf("%-10s %-10s %9s %9s %9s %9s %9s\n", "sky", "exposure", "in band", "max step", "reversals",
              "switches", "changes");
  int row = 0;
  for (int clouds : {0, 60})
    for (bool steered : {false, true}) {
      Figures f = RunDay(clouds, steered, target, strip, row++);
      std::printf("%-10s %-10s %8.1f%% %9.2f %9d %9d %9d\n", clouds ? "60% cloud" : "clear",
                  steered ? "auto" : "presets", 100.0 * f.InBand / f.Pictures, f.LargestStep, f.Reversals,
                  f.Switches, f.Changes);
    }
  strip.save(QString::fromStdString(stripPath));
  std::printf("strip: %s (rows: clear presets, clear auto, cloudy presets, cloudy auto; one column an hour)\n",
              stripPath.c_str());
}
