// The station's side of the night's products: keeps the night's pictures
// (hard links in nights/YYYY-MM-DD/pictures/ of the working folder, dated by
// the evening the night began), and when the night ends runs korv-night on
// them as a child process at low priority, polled at the ticks so that no
// tick waits; past kNightBuildLimitS it is killed. Its products are queued
// for publishing as the latest ones and under nights/YYYY-MM-DD/. A build
// that failed is tried once more, RetryAfterS later, by day.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "runtime/Clock.h"
#include "station/PublishQueue.h"
#include "station/Sun.h"

namespace korv {

inline constexpr int kNightBuildLimitS = 30 * 60;

struct NightConfig {
  bool Enabled = false;
  std::string Program;  // korv-night; "" for the one beside the running program
  std::optional<GeoPlace> Place{};
  int RetryAfterS = 3600;  // wall seconds from a failed build to its second try
};

class NightWatch {
public:
  using LogLine = std::function<void(const std::string&)>;
  NightWatch(const std::string& folder, NightConfig config, LogLine log);
  ~NightWatch();  // a build under way is ended
  NightWatch(const NightWatch&) = delete;
  NightWatch& operator=(const NightWatch&) = delete;

  // A tick at `now`, in night mode or not: a night begins or ends, a build is polled.
  void Tick(const LocalTime& now, bool night, PublishQueue& queue);
  // A picture was saved: kept for the night under way.
  void Picture(const std::string& path);
  bool Building() const { return child_ > 0; }

private:
  void Launch();
  void Finished(int status, PublishQueue& queue);
  // The build of built_ failed for `reason`: tried once more, then given up.
  void Failed(const std::string& reason);

  const std::string folder_;
  const NightConfig config_;
  LogLine log_;
  std::string night_;  // the evening's date of the night under way, "" by day
  std::string built_;  // the night whose build runs
  pid_t child_ = -1;
  std::chrono::steady_clock::time_point started_;
  std::string retry_;    // the night to build once more, "" for none
  bool retrying_ = false;  // the build under way is a night's second
  std::chrono::steady_clock::time_point retryAt_;
};

}  // namespace korv
