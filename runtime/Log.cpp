#include "runtime/Log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "runtime/Clock.h"

namespace korv {

namespace {

constexpr size_t MaxText = 4096;

std::string Line(std::string_view text) {
  LocalTime t = TheClock().Now();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d ", t.Year, t.Month, t.Day, t.Hour, t.Minute,
                t.Second);
  std::string line = stamp;
  for (char c : text.substr(0, MaxText)) {
    if (c == '\r') continue;
    if (c == '\n')
      line += " | ";
    else
      line += c;
  }
  line += '\n';
  return line;
}

}  // namespace

RotatingLog::RotatingLog(std::string path, uint64_t maxBytes, int keep)
    : Path_(std::move(path)), MaxBytes(maxBytes), Keep(keep) {}

void RotatingLog::Rotate() {
  for (int i = Keep; i >= 1; --i) {
    std::string from = i == 1 ? Path_ : Path_ + "." + std::to_string(i - 1);
    ::rename(from.c_str(), (Path_ + "." + std::to_string(i)).c_str());
  }
  if (Keep < 1) ::unlink(Path_.c_str());
}

void RotatingLog::Write(std::string_view text) noexcept {
  try {
    std::string line = Line(text);
    std::lock_guard guard(Lock);
    struct stat info{};
    if (::stat(Path_.c_str(), &info) == 0 && info.st_size > 0 &&
        static_cast<uint64_t>(info.st_size) + line.size() > MaxBytes)
      Rotate();
    // O_NONBLOCK: something other than a file in the log's place must not
    // hold the station.
    int fd = ::open(Path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0644);
    bool written = fd >= 0 && ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    if (fd >= 0) ::close(fd);
    if (!written) ++Lost;
  } catch (...) {
    std::lock_guard guard(Lock);
    ++Lost;
  }
}

uint64_t RotatingLog::LostLines() const {
  std::lock_guard guard(Lock);
  return Lost;
}

}  // namespace korv
