// The station on the simulated camera and the fast clock, a picture every 5
// simulated minutes, exposed by today's presets and by the steering
// (--auto-exposure). Each run is a child process of its own, so that the
// clock and the camera's sky are set before either is read.
//
//   station_exposure_run [strip.png] [target]
// A whole day, clear and at 60 % cloud, by the presets and steered (four
// days at once). Prints per day the share of pictures within ±0.1 of the
// target, the largest step of the mean between two pictures in a row, the
// reversals of the steering's direction and the preset switches; writes a
// strip of hourly thumbnails of the days (PNG).
//
//   station_exposure_run --dusk
// A winter afternoon into the night, steered: fails (status 1) unless at
// least 90 % of the pictures lie within the band, the evening switch is the
// only switch, the steering turns no more often than that, and the lists
// show what the camera holds.
#include <QApplication>
#include <QComboBox>
#include <QPainter>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/exposure/StationDay.h"
#include "camera/Obturo.h"
#include "exposure/ExposureSteering.h"

using namespace korv;

namespace {

constexpr const char* kDayClock = "2026-12-08 23:00 x600";   // an hour to start in, then a long winter day
constexpr const char* kDuskClock = "2026-12-09 14:00 x300";  // an hour to start in, then 15:00 to 18:00
constexpr int kStepMinutes = 5;
constexpr int kThumbW = 48, kThumbH = 36;

struct Figures {
  int Pictures = 0, InBand = 0, Reversals = 0, Switches = 0, Changes = 0;
  int Late = 0;          // pictures taken more than half a step after their time: too slow a machine
  int ListsTrue = 0;     // the lists showed what the camera held at the end
  double LargestStep = 0;
};

// A folder of its own for the station's files, removed at the end.
struct Scratch {
  std::string Path;
  Scratch() {
    char name[] = "/tmp/korv-exposure-XXXXXX";
    Path = mkdtemp(name) ? name : ".";
  }
  ~Scratch() {
    std::error_code error;
    if (Path != ".") std::filesystem::remove_all(Path, error);
  }
};

bool ListsShowTheCamera(TForm1& form) {
  const ExposureListTexts held = ListTextsOf(ExposureOf(form.Obturo1->GetCameraSettings(), false));
  return form.ComboBox4->currentText().toStdString() == held.Exposure &&
         form.ComboBox2->currentText().toStdString() == held.Iso;
}

// One run in this process, from the clock's first full hour on for
// `minutes`: its figures on stdout, its hourly thumbnails to `rowPath`.
int RunDay(char* program, bool steered, double target, const std::string& rowPath, int minutes) {
  int argc = 1;
  QApplication application(argc, &program);
  Scratch folder;
  StationConfig config;
  if (steered) config.AutoExposure = target;
  StationDay day(folder.Path, config);
  const int64_t start = TheClock().Now().UnixTime / 3600 * 3600 + 3600;
  QImage row(24 * kThumbW, kThumbH, QImage::Format_RGB32);
  row.fill(Qt::black);
  QPainter painter(&row);
  Figures f;
  double lastMean = -1;
  int lastPreset = 0;
  for (int minute = 0; minute <= minutes; minute += kStepMinutes) {
    const auto picture = day.TakeAt(start + minute * 60);
    ++f.Pictures;
    if (!picture || !picture->Mean) {
      std::fprintf(stderr, "no picture at minute %d: %s\n", minute,
                   day.Errors().empty() ? "none came" : day.Errors().back().c_str());
      continue;
    }
    const double mean = *picture->Mean;
    f.Late += picture->Taken.UnixTime > start + minute * 60 + kStepMinutes * 30;
    f.InBand += std::abs(mean - target) <= 0.1;
    if (lastMean >= 0) f.LargestStep = std::max(f.LargestStep, std::abs(mean - lastMean));
    f.Switches += lastPreset != 0 && picture->Preset != lastPreset;
    lastMean = mean, lastPreset = picture->Preset;
    if (minute % 60 == 0) painter.drawImage(QRect(minute / 60 % 24 * kThumbW, 0, kThumbW, kThumbH), picture->Preview);
  }
  std::ifstream file(folder.Path + "/korv-cps.log", std::ios::binary);
  const std::string log((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const SteeringFigures steering = SteeringOf(log, target);
  row.save(QString::fromStdString(rowPath));
  std::printf("%d %d %.3f %d %d %d %d %d\n", f.Pictures, f.InBand, f.LargestStep, steering.Reversals, f.Switches,
              steering.Changes, f.Late, int(ListsShowTheCamera(day.Form())));
  return 0;
}

struct Child {
  pid_t Pid = -1;
  int Out = -1;  // its standard output
};

// Starts one run in a child of this program, on `clock`, under `clouds` percent of cloud.
Child StartRun(const char* clock, int clouds, bool steered, double target, const std::string& rowPath, int minutes) {
  const std::string scenario = rowPath + ".scenario";
  std::ofstream(scenario) << "camera CD\nclouds " << clouds << "\n";
  int out[2];
  if (pipe(out) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    dup2(out[1], 1);
    setenv("KORV_CLOCK", clock, 1);
    unsetenv("KORV_CLOCK_ANCHOR");
    setenv("CAMSIM_SCENARIO", scenario.c_str(), 1);
    execl("/proc/self/exe", "station_exposure_run", "--run", steered ? "auto" : "presets",
          std::to_string(target).c_str(), rowPath.c_str(), std::to_string(minutes).c_str(), nullptr);
    _exit(127);
  }
  close(out[1]);
  return {child, out[0]};
}

// The figures the child printed; false when it failed.
bool EndRun(const Child& child, Figures& f) {
  if (child.Pid < 0) return false;
  std::string text;
  char buffer[256];
  for (ssize_t n; (n = read(child.Out, buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
  close(child.Out);
  int status = 0;
  waitpid(child.Pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
         std::sscanf(text.c_str(), "%d %d %lf %d %d %d %d %d", &f.Pictures, &f.InBand, &f.LargestStep,
                     &f.Reversals, &f.Switches, &f.Changes, &f.Late, &f.ListsTrue) == 8;
}

void PrintFigures(const char* sky, const char* exposure, const Figures& f) {
  std::printf("%-10s %-10s %8.1f%% %9.2f %9d %9d %9d\n", sky, exposure, 100.0 * f.InBand / f.Pictures,
              f.LargestStep, f.Reversals, f.Switches, f.Changes);
  if (f.Late) std::printf("  %d pictures late: the machine did not keep the clock's pace\n", f.Late);
}

int Dusk(const std::string& folder) {
  Figures f;
  if (!EndRun(StartRun(kDuskClock, 0, true, kDefaultExposureTarget, folder + "/dusk.png", 180), f)) return 1;
  PrintFigures("dusk", "auto", f);
  const bool passed = f.InBand * 10 >= f.Pictures * 9 && f.Switches == 1 && f.Reversals <= f.Switches &&
                      f.Changes > 3 && f.ListsTrue;
  std::printf("%s (wanted: 90%% within the band, one switch, reversals no more than switches, the lists true)\n",
              passed ? "passed" : "FAILED");
  return passed ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::string(argv[1]) == "--run")
    return RunDay(argv[0], std::string(argv[2]) == "auto", std::atof(argv[3]), argv[4], std::atoi(argv[5]));
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  Scratch rows;
  if (argc == 2 && std::string(argv[1]) == "--dusk") return Dusk(rows.Path);
  const std::string stripPath = argc > 1 ? argv[1] : "exposure-day.png";
  const double target = argc > 2 ? std::atof(argv[2]) : kDefaultExposureTarget;
  std::printf("the station on the fast clock (%s), target %.2f, a picture every %d minutes\n", kDayClock, target,
              kStepMinutes);
  std::printf("%-10s %-10s %9s %9s %9s %9s %9s\n", "sky", "exposure", "in band", "max step", "reversals",
              "switches", "changes");
  // The four days at once: each waits for its clock most of the time.
  auto rowPath = [&](int row) { return rows.Path + "/row" + std::to_string(row) + ".png"; };
  Child children[4];
  for (int row = 0; row < 4; ++row)
    children[row] = StartRun(kDayClock, row >= 2 ? 60 : 0, row % 2 == 1, target, rowPath(row), 24 * 60 - 5);
  QImage strip(24 * kThumbW, 4 * kThumbH, QImage::Format_RGB32);
  strip.fill(Qt::black);
  for (int row = 0; row < 4; ++row) {
    Figures f;
    const char* sky = row >= 2 ? "60% cloud" : "clear";
    const char* exposure = row % 2 ? "auto" : "presets";
    if (!EndRun(children[row], f)) return std::printf("%-10s %-10s failed\n", sky, exposure), 1;
    PrintFigures(sky, exposure, f);
    QPainter(&strip).drawImage(0, row * kThumbH, QImage(QString::fromStdString(rowPath(row))));
  }
  strip.save(QString::fromStdString(stripPath));
  std::printf("strip: %s (rows: clear presets, clear auto, cloudy presets, cloudy auto; one column an hour)\n",
              stripPath.c_str());
}
