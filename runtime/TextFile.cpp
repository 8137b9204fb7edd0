#include "runtime/TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "runtime/Exception.h"

namespace korv {

namespace {

std::atomic<bool> failBeforeRename{false};

[[noreturn]] void RaiseWriteError(const std::string& path, int error) {
  throw EInOutError("Cannot write " + path + ": " + std::strerror(error));
}

void WriteAll(int fd, const std::string& text, const std::string& path) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) RaiseWriteError(path, errno);
    done += static_cast<size_t>(n);
  }
}

}  // namespace

std::optional<std::vector<std::string>> ReadTextLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  return lines;
}

void WriteTextLines(const std::string& path, const std::vector<std::string>& lines, mode_t mode) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";

  std::string temp = path + ".tmp-XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) RaiseWriteError(path, errno);
  try {
    if (::fchmod(fd, mode) != 0) RaiseWriteError(path, errno);
    WriteAll(fd, text, path);
    if (::fsync(fd) != 0) RaiseWriteError(path, errno);
    if (failBeforeRename.exchange(false)) RaiseWriteError(path, EIO);
    if (::close(fd) != 0) {
      fd = -1;
      RaiseWriteError(path, errno);
    }
    fd = -1;
    if (::rename(temp.c_str(), path.c_str()) != 0) RaiseWriteError(path, errno);
  } catch (...) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    throw;
  }
}

void testing::FailNextWriteBeforeRename() { failBeforeRename = true; }

}  // namespace korv
