#include "runtime/TextFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "runtime/Exception.h"
#include "runtime/ScopeExit.h"

namespace korv {

namespace {

std::atomic<bool> failBeforeRename{false};

// What mkstemp puts in place of the X's.
constexpr std::string_view kTemporarySuffix = ".tmp-XXXXXX";

[[noreturn]] void RaiseWriteError(const std::string& path, int error) {
  throw EInOutError("Cannot write " + path + ": " + std::strerror(error));
}

[[noreturn]] void RaiseReadError(const std::string& path, const std::string& why) {
  throw EInOutError("Cannot read " + path + ": " + why);
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

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A renamed file survives a crash only once its folder is on disk too.
void SyncFolder(const std::string& path) {
  int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) RaiseWriteError(path, errno);
  int result = ::fsync(fd);
  int error = errno;
  ::close(fd);
  // Some file systems can't flush a folder at all; there is nothing more to do.
  if (result != 0 && error != EINVAL) RaiseWriteError(path, error);
}

std::string Slurp(int fd, const std::string& path, size_t maxBytes) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) RaiseReadError(path, std::strerror(errno));
  if (!S_ISREG(info.st_mode)) RaiseReadError(path, "not a regular file");
  std::string text;
  char buffer[4096];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) RaiseReadError(path, std::strerror(errno));
    if (n == 0) return text;
    if (text.size() + static_cast<size_t>(n) > maxBytes) {
      RaiseReadError(path, "larger than " + std::to_string(maxBytes) + " bytes");
    }
    text.append(buffer, static_cast<size_t>(n));
  }
}

}  // namespace

std::optional<std::vector<std::string>> ReadTextLines(const std::string& path, size_t maxBytes) {
  // Non-blocking, so that a FIFO of this name can't hold up the caller;
  // it is refused as soon as fstat shows what it is.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && (errno == ENOENT || errno == ENOTDIR)) return std::nullopt;
  if (fd < 0) RaiseReadError(path, std::strerror(errno));
  auto closeFile = ScopeExit([fd] { ::close(fd); });
  std::string text = Slurp(fd, path, maxBytes);

  std::vector<std::string> lines;
  std::string_view rest = text;
  while (!rest.empty()) {
    size_t end = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  return lines;
}

void WriteTextLines(const std::string& path, const std::vector<std::string>& lines, mode_t mode) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";

  std::string temp = path + std::string(kTemporarySuffix);
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) RaiseWriteError(path, errno);
  auto removeTemp = ScopeExit([&] {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
  });
  if (::fchmod(fd, mode) != 0) RaiseWriteError(path, errno);
  WriteAll(fd, text, path);
  if (::fsync(fd) != 0) RaiseWriteError(path, errno);
  if (failBeforeRename.exchange(false)) RaiseWriteError(path, EIO);
  int closed = ::close(fd);
  fd = -1;
  if (closed != 0) RaiseWriteError(path, errno);
  if (::rename(temp.c_str(), path.c_str()) != 0) RaiseWriteError(path, errno);
  removeTemp.Release();
  SyncFolder(path);
}

int RemoveLeftoverTemporaries(const std::string& path) {
  std::string folder = FolderOf(path);
  std::string prefix = NameOf(path) + std::string(kTemporarySuffix.substr(0, kTemporarySuffix.find('X')));
  size_t randomChars = kTemporarySuffix.size() - kTemporarySuffix.find('X');
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return 0;
  auto closeDir = ScopeExit([dir] { ::closedir(dir); });
  int removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name.size() != prefix.size() + randomChars || !name.starts_with(prefix)) continue;
    std::string file = folder + "/" + std::string(name);
    struct stat info {};
    // Only files, as our own writes make them; never what a link points to.
    if (::lstat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::unlink(file.c_str()) == 0) ++removed;
  }
  return removed;
}

void testing::FailNextWriteBeforeRename() { failBeforeRename = true; }

}  // namespace korv
