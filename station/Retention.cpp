#include "station/Retention.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "runtime/Clock.h"

namespace korv {

namespace fs = std::filesystem;

namespace {

struct Deletable {
  fs::path Path;
  int64_t ChangedUnix = 0;
};

// "000123.jpg": the names the station gives its pictures.
bool IsPictureName(const std::string& name) {
  if (name.size() < 10 || !name.ends_with(".jpg")) return false;
  return std::all_of(name.begin(), name.end() - 4, [](char c) { return c >= '0' && c <= '9'; });
}

int64_t ChangedUnix(const fs::path& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 ? ClockTimeAt(int64_t(status.st_mtime)) : 0;
}

// A day folder holds the station's pictures and no folder.
bool IsDayFolder(const fs::path& path) {
  std::error_code error;
  bool pictures = false;
  for (const auto& entry : fs::directory_iterator(path, error)) {
    if (entry.is_directory(error)) return false;
    pictures |= IsPictureName(entry.path().filename().string());
  }
  return pictures && !error;
}

// Day folders other than the run's own, and built nights (a night still
// holding its pictures/ is not in its products yet), oldest first.
std::vector<Deletable> DeletableFolders(const fs::path& folder, const std::string& currentDir) {
  std::vector<Deletable> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    std::string name = entry.path().filename().string();
    if (name != currentDir && entry.is_directory(error) && IsDayFolder(entry.path()))
      found.push_back({entry.path(), ChangedUnix(entry.path())});
  }
  for (const auto& entry : fs::directory_iterator(folder / "nights", error)) {
    if (entry.is_directory(error) && !fs::exists(entry.path() / "pictures", error))
      found.push_back({entry.path(), ChangedUnix(entry.path())});
  }
  std::sort(found.begin(), found.end(), [](const Deletable& a, const Deletable& b) {
    return a.ChangedUnix != b.ChangedUnix ? a.ChangedUnix < b.ChangedUnix : a.Path < b.Path;
  });
  return found;
}

int64_t FreeMb(const std::string& folder) {
  struct statvfs space {};
  if (statvfs(folder.c_str(), &space) != 0) return -1;
  return int64_t(space.f_bavail) * int64_t(space.f_frsize) / (1024 * 1024);
}

// Deletes one folder and logs it with the reason.
void DeleteFolder(const fs::path& path, const std::string& why, const Retention::LogLine& log) {
  std::error_code error;
  uintmax_t files = fs::remove_all(path, error);
  log("retention: " + path.string() +
      (error ? " not deleted: " + error.message() : " deleted (" + std::to_string(files) + " files): " + why));
}

}  // namespace

Retention::Retention(std::string folder, RetentionConfig config, LogLine log)
    : Folder(std::move(folder)), Config(config), Log(std::move(log)) {}

void Retention::Expire(int64_t nowUnix, const std::string& currentDir) {
  if (Config.KeepDays <= 0) return;
  const int64_t limit = nowUnix - int64_t(Config.KeepDays) * 24 * 3600;
  for (const Deletable& old : DeletableFolders(Folder, currentDir)) {
    if (old.ChangedUnix >= limit) break;
    DeleteFolder(old.Path, "older than " + std::to_string(Config.KeepDays) + " days", Log);
  }
}

void Retention::EnsureFree(const std::string& currentDir) {
  if (Config.MinFreeMb <= 0) return;
  int64_t free = FreeMb(Folder);
  if (free < 0 || free >= Config.MinFreeMb) {
    ShortageLogged = false;
    return;
  }
  for (const Deletable& old : DeletableFolders(Folder, currentDir)) {
    DeleteFolder(old.Path, std::to_string(free) + " MB free, under " + std::to_string(Config.MinFreeMb) + " MB", Log);
    free = FreeMb(Folder);
    if (free >= Config.MinFreeMb) return;
  }
  if (!ShortageLogged)
    Log("retention: " + std::to_string(free) + " MB free, under " + std::to_string(Config.MinFreeMb) +
        " MB, and nothing more may be deleted");
  ShortageLogged = true;
}

}  // namespace korv
