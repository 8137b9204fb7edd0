#include "station/PictureFiles.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <string_view>

#include "runtime/ScopeExit.h"

namespace korv {

namespace {

constexpr std::string_view kExtension = ".jpg";
constexpr size_t kLeastDigits = 6;

// N of a name "N.jpg" with at least six digits, or 0.
int64_t NumberOf(std::string_view name) {
  if (!name.ends_with(kExtension)) return 0;
  std::string_view digits = name.substr(0, name.size() - kExtension.size());
  if (digits.size() < kLeastDigits) return 0;
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return 0;
  int64_t number = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  // A number beyond the last can't be counted past; its name is never given.
  if (error != std::errc() || number > kLastPictureNumber) return 0;
  return number;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

int64_t HighestPictureNumber(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return 0;
  auto closeDir = ScopeExit([dir] { ::closedir(dir); });
  int64_t highest = 0;
  while (const dirent* entry = ::readdir(dir)) highest = std::max(highest, NumberOf(entry->d_name));
  return highest;
}

int64_t SafePictureCounter(const std::string& folder, int64_t counter) {
  return std::max({counter, HighestPictureNumber(folder) + 1, int64_t{1}});
}

PictureTarget::PictureTarget(std::string path) : FPath(std::move(path)), FTaken(Exists(FPath)) {}

bool PictureTarget::RemovePartial() const {
  if (FTaken) return false;
  struct stat info {};
  return ::lstat(FPath.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::unlink(FPath.c_str()) == 0;
}

}  // namespace korv
