// korv-night [--out DIR] [--fps N] [--brightest F] [--location LAT,LON] FOLDER...
// Builds the night's keogram, star trails and timelapse from the folders' JPEG pictures.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "night/NightBuilder.h"

namespace {

using namespace korv;

constexpr const char* kUsage =
    "usage: korv-night [--out DIR] [--fps N] [--brightest F] [--location LAT,LON] FOLDER...\n";

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "korv-night: %s\n", message.c_str());
  std::exit(2);
}

double Number(const std::string& text, double low, double high, const char* option) {
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end || !(value >= low && value <= high))
    Fail(std::string(option) + " " + text + ": not a number from " + std::to_string(low) + " to " +
         std::to_string(high));
  return value;
}

GeoPlace Place(const std::string& text) {
  size_t comma = text.find(',');
  if (comma == std::string::npos) Fail("--location " + text + ": expected LAT,LON");
  return {Number(text.substr(0, comma), -90, 90, "--location"), Number(text.substr(comma + 1), -180, 180, "--location")};
}

void CheckWritable(const std::string& dir) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error || access(dir.c_str(), W_OK) != 0) Fail(dir + ": not a folder that can be written");
}

// "[#####.....] 120/400  8.1/s  0:35 left" on a terminal, nothing elsewhere.
void ShowProgress(size_t done, size_t total, std::chrono::steady_clock::time_point start) {
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double rate = seconds > 0 ? double(done) / seconds : 0;
  int left = rate > 0 ? int(double(total - done) / rate) : 0;
  constexpr int kBar = 30;
  int filled = int(kBar * done / total);
  std::fprintf(stderr, "\r[%s%s] %zu/%zu  %.1f/s  %d:%02d left ", std::string(size_t(filled), '#').c_str(),
               std::string(size_t(kBar - filled), '.').c_str(), done, total, rate, left / 60, left % 60);
  if (done == total) std::fputc('\n', stderr);
}

}  // namespace

int main(int argc, char** argv) {
  NightOptions options;
  options.OutDir = ".";
  std::vector<std::string> folders;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--out" && hasValue) options.OutDir = argv[++i];
    else if (arg == "--fps" && hasValue) options.Fps = int(Number(argv[++i], 1, 120, "--fps"));
    else if (arg == "--brightest" && hasValue) options.Brightest = Number(argv[++i], 0, 1, "--brightest");
    else if (arg == "--location" && hasValue) options.Place = Place(argv[++i]);
    else if (arg.starts_with("-")) Fail("unknown or incomplete option " + arg + "\n" + kUsage);
    else folders.push_back(arg);
  }
  if (folders.empty()) Fail(std::string("no folder given\n") + kUsage);
  CheckWritable(options.OutDir);
  std::vector<std::string> pictures = NightPictures(folders);
  if (pictures.empty()) Fail("no JPEG picture in the folders given");
  auto start = std::chrono::steady_clock::now();
  if (isatty(STDERR_FILENO)) options.Progress = [&](size_t done, size_t total) { ShowProgress(done, total, start); };
  NightSummary summary = BuildNight(pictures, options);
  if (!summary.Problem.empty()) Fail(summary.Problem);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%zu pictures, %zu skipped, %zu in the star trails%s; video %dx%d; %.1f s\n", summary.Pictures,
              summary.Skipped, summary.InTrails,
              summary.TrailsFromDarkest ? " (none dark enough: the darkest picture stands in)" : "",
              summary.VideoWidth, summary.VideoHeight, seconds);
  return 0;
}
