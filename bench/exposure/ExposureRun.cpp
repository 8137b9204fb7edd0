// A whole day of the station on the simulated camera and the fast clock, a
// picture every 5 simulated minutes, exposed by today's presets and by the
// steering (--auto-exposure), on a clear day and at 60 % cloud. Prints per
// run the share of pictures within ±0.1 of the target, the largest step of
// the mean between two pictures in a row, the reversals of the steering's
// direction and the preset switches; writes a strip of hourly thumbnails of
// the runs (PNG) to the path given. Each day runs in a child process of its
// own: the clock and the camera's sky are set before either is read.
//   station_exposure_run [strip.png] [target]
#include <QApplication>
#include <QPainter>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "exposure/ExposureSteering.h"
#include "runtime/Convert.h"
#include "tests/support/StationDay.h"
#include "tests/support/TempDir.h"

using namespace korv;

namespace {

constexpr const char* kClock = "2026-12-08 23:00 x600";  // an hour to start in, then a long winter day
constexpr int kStepMinutes = 5;
constexpr int kThumbW = 48, kThumbH = 36;

struct Figures {
  int Pictures = 0, InBand = 0, Reversals = 0, Switches = 0, Changes = 0;
  int Late = 0;  // pictures taken more than half a step after their time: the machine is too slow for the clock
  double LargestStep = 0;
};

// One day in this process: its figures on stdout, its row of thumbnails to `rowPath`.
int RunDay(int argc, char** argv, bool steered, double target, const std::string& rowPath) {
  QApplication application(argc, argv);
  test::TempDir folder;
  StationConfig config;
  if (steered) config.AutoExposure = target;
  test::StationDay day(folder.path(), config);
  const int64_t midnight = TheClock().Now().UnixTime / 3600 * 3600 + 3600;
  QImage row(24 * kThumbW, kThumbH, QImage::Format_RGB32);
  row.fill(Qt::black);
  QPainter painter(&row);
  Figures f;
  double lastMean = -1;
  int lastPreset = 0;
  for (int minute = 0; minute < 24 * 60; minute += kStepMinutes) {
    const auto picture = day.TakeAt(midnight + minute * 60);
    ++f.Pictures;
    if (!picture || !picture->Mean) continue;
    f.Late += picture->Taken.UnixTime > midnight + minute * 60 + kStepMinutes * 30;
    if (std::getenv("KORV_EXPOSURE_LOG"))
      std::fprintf(stderr, "%02d:%02d late %llds preset %d mean %.2f %s\n", picture->Taken.Hour, picture->Taken.Minute,
                   (long long)(picture->Taken.UnixTime - midnight - minute * 60), picture->Preset, *picture->Mean, picture->Exposure.c_str());
    const double mean = *picture->Mean;
    f.InBand += std::abs(mean - target) <= 0.1;
    if (lastMean >= 0) f.LargestStep = std::max(f.LargestStep, std::abs(mean - lastMean));
    f.Switches += lastPreset != 0 && picture->Preset != lastPreset;
    lastMean = mean, lastPreset = picture->Preset;
    if (minute % 60 == 0) painter.drawImage(QRect(minute / 60 * kThumbW, 0, kThumbW, kThumbH), picture->Preview);
  }
  std::ifstream file(folder.file("korv-cps.log"), std::ios::binary);
  const std::string log((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const test::SteeringFigures steering = test::SteeringOf(log, target);
  row.save(QString::fromStdString(rowPath));
  std::printf("%d %d %.3f %d %d %d %d\n", f.Pictures, f.InBand, f.LargestStep, steering.Reversals, f.Switches,
              steering.Changes, f.Late);
  return 0;
}

struct Child {
  pid_t Pid = -1;
  int Out = -1;  // its standard output
};

// Starts one day in a child of this program.
Child StartDay(int clouds, bool steered, double target, const std::string& rowPath) {
  const std::string scenario = rowPath + ".scenario";
  std::ofstream(scenario) << "camera CD\nclouds " << clouds << "\n";
  int out[2];
  if (pipe(out) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    dup2(out[1], 1);
    setenv("KORV_CLOCK", kClock, 1);
    unsetenv("KORV_CLOCK_ANCHOR");
    setenv("CAMSIM_SCENARIO", scenario.c_str(), 1);
    const std::string target_text = std::to_string(target);
    execl("/proc/self/exe", "station_exposure_run", "--day", steered ? "auto" : "presets", target_text.c_str(),
          rowPath.c_str(), nullptr);
    _exit(127);
  }
  close(out[1]);
  return {child, out[0]};
}

// The figures the child printed; false when it failed.
bool EndDay(const Child& child, Figures& f) {
  if (child.Pid < 0) return false;
  std::string text;
  char buffer[256];
  for (ssize_t n; (n = read(child.Out, buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
  close(child.Out);
  int status = 0;
  waitpid(child.Pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
         std::sscanf(text.c_str(), "%d %d %lf %d %d %d %d", &f.Pictures, &f.InBand, &f.LargestStep, &f.Reversals,
                     &f.Switches, &f.Changes, &f.Late) == 7;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--day")
    return RunDay(1, argv, std::string(argv[2]) == "auto", std::atof(argv[3]), argv[4]);
  const std::string stripPath = argc > 1 ? argv[1] : "exposure-day.png";
  const double target = argc > 2 ? std::atof(argv[2]) : kDefaultExposureTarget;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  test::TempDir rows;
  QImage strip(24 * kThumbW, 4 * kThumbH, QImage::Format_RGB32);
  strip.fill(Qt::black);
  std::printf("the station on the fast clock (%s), target %.2f, a picture every %d minutes\n", kClock, target,
              kStepMinutes);
  std::printf("%-10s %-10s %9s %9s %9s %9s %9s\n", "sky", "exposure", "in band", "max step", "reversals",
              "switches", "changes");
  // The four days at once: each waits for its clock most of the time.
  Child children[4];
  for (int row = 0; row < 4; ++row)
    children[row] = StartDay(row >= 2 ? 60 : 0, row % 2 == 1, target, rows.file("row" + std::to_string(row) + ".png"));
  for (int row = 0; row < 4; ++row) {
    const int clouds = row >= 2 ? 60 : 0;
    const bool steered = row % 2 == 1;
    const std::string rowPath = rows.file("row" + std::to_string(row) + ".png");
    Figures f;
    if (!EndDay(children[row], f)) {
      std::printf("%-10s %-10s failed\n", clouds ? "60% cloud" : "clear", steered ? "auto" : "presets");
      return 1;
    }
      std::printf("%-10s %-10s %8.1f%% %9.2f %9d %9d %9d\n", clouds ? "60% cloud" : "clear",
                  steered ? "auto" : "presets", 100.0 * f.InBand / f.Pictures, f.LargestStep, f.Reversals,
                  f.Switches, f.Changes);
      if (f.Late) std::printf("  %d pictures late: the figures are not the day's\n", f.Late);
    QPainter(&strip).drawImage(0, row * kThumbH, QImage(QString::fromStdString(rowPath)));
  }
  strip.save(QString::fromStdString(stripPath));
  std::printf("strip: %s (rows: clear presets, clear auto, cloudy presets, cloudy auto; one column an hour)\n",
              stripPath.c_str());
}
