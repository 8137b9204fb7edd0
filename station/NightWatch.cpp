#include "station/NightWatch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "runtime/ProgramDir.h"

namespace korv {

namespace fs = std::filesystem;

namespace {

constexpr const char* kProducts[] = {"keogram.jpg", "startrails.jpg", "timelapse.mp4"};

// "YYYY-MM-DD" of the evening a night at `now` began: before noon it is the day before.
std::string EveningDate(const LocalTime& now) {
  LocalTime evening = now.Hour < 12 ? LocalTimeAt(now.UnixTime - 24 * 3600) : now;
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", evening.Year % 10000, evening.Month % 100, evening.Day % 100);
  return text;
}

}  // namespace

NightWatch::NightWatch(const std::string& folder, NightConfig config, LogLine log)
    : folder_(folder), config_(std::move(config)), log_(std::move(log)) {}

NightWatch::~NightWatch() {
  if (child_ <= 0) return;
  kill(child_, SIGKILL);
  waitpid(child_, nullptr, 0);
}

void NightWatch::Tick(const LocalTime& now, bool night, PublishQueue& queue) {
  if (!config_.Enabled) return;
  if (child_ > 0) {
    int status = 0;
    if (waitpid(child_, &status, WNOHANG) == child_) {
      child_ = -1;
      Finished(status, queue);
    } else if (std::chrono::steady_clock::now() - started_ > std::chrono::seconds(kNightBuildLimitS)) {
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
      child_ = -1;
      Failed("korv-night ended after " + std::to_string(kNightBuildLimitS / 60) + " min");
    }
  }
  if (night && night_.empty()) {
    night_ = EveningDate(now);
    log_("night products: the night of " + night_ + " begins");
  } else if (!night && !night_.empty() && child_ <= 0) {
    built_ = night_;
    night_.clear();
    retrying_ = false;
    Launch();
  } else if (!night && child_ <= 0 && !retry_.empty() && std::chrono::steady_clock::now() >= retryAt_) {
    built_ = retry_;
    retry_.clear();
    retrying_ = true;
    Launch();
  }
}

void NightWatch::Picture(const std::string& path) {
  if (!config_.Enabled || night_.empty()) return;
  fs::path pictures = fs::path(folder_) / "nights" / night_ / "pictures";
  std::error_code error;
  fs::create_directories(pictures, error);
  fs::create_hard_link(path, pictures / fs::path(path).filename(), error);
  if (error) log_("night products: " + path + " not kept: " + error.message());
}

void NightWatch::Launch() {
  fs::path night = fs::path(folder_) / "nights" / built_;
  std::error_code error;
  if (!fs::is_directory(night / "pictures", error)) return log_("night products: no picture of " + built_);
  std::string program = config_.Program.empty() ? (fs::path(ProgramDir()) / "korv-night").string() : config_.Program;
  std::vector<std::string> args{program, "--out", night.string()};
  if (config_.Place)
    args.insert(args.end(), {"--location", std::to_string(config_.Place->Latitude) + "," +
                                               std::to_string(config_.Place->Longitude)});
  args.push_back((night / "pictures").string());
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::string output = (night / "korv-night.log").string();
  int log = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  started_ = std::chrono::steady_clock::now();
  child_ = fork();
  if (child_ == 0) {  // only async-signal-safe calls until exec
    setpriority(PRIO_PROCESS, 0, 19);
    if (log >= 0) dup2(log, STDOUT_FILENO), dup2(log, STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (log >= 0) close(log);
  if (child_ < 0) return Failed("korv-night not started");
  log_("night products: building the night of " + built_);
}

void NightWatch::Finished(int status, PublishQueue& queue) {
  fs::path night = fs::path(folder_) / "nights" / built_;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return Failed("korv-night failed (see " + (night / "korv-night.log").string() + ")");
  for (const char* product : kProducts) {
    queue.Add((night / product).string(), product);
    queue.Add((night / product).string(), "nights/" + built_ + "/" + product);
  }
  std::error_code error;
  fs::remove_all(night / "pictures", error);  // links: a kept picture stays in its day folder
  log_("night products: the night of " + built_ + " built and queued");
}

void NightWatch::Failed(const std::string& reason) {
  if (retrying_)
    return log_("night products: " + reason + " for " + built_ + " again; its pictures stay in nights/" + built_ +
                "/pictures");
  retry_ = built_;
  retryAt_ = std::chrono::steady_clock::now() + std::chrono::seconds(config_.RetryAfterS);
  log_("night products: " + reason + " for " + built_ + "; tried once more in " +
       std::to_string(config_.RetryAfterS / 60) + " min");
}

}  // namespace korv
