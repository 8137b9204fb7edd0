// Old folders deleted within the user's bounds, on a small file system of
// its own: by age at the morning switch, oldest first for free space, and
// never the run's folder, a night not yet built or a folder not the station's.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "station/Retention.h"
#include "tests/support/TempDir.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;
constexpr int64_t kNow = 2'000'000'000, kDay = 24 * 3600;

struct Folder {
  std::string Name, File;
  int AgeDays, SizeMb;
};

// The working folder: day folders, nights built and not, a folder of the user's.
const std::vector<Folder> kFolders = {
    {"01-12-2026", "000001.jpg", 9, 2},       {"03-12-2026", "000040.jpg", 7, 2},
    {"05-12-2026", "000080.jpg", 5, 2},       {"nights/2026-12-02", "keogram.jpg", 8, 1},
    {"nights/2026-12-06", "pictures/000100.jpg", 4, 1}, {"holiday", "notes.txt", 30, 1},
    {"09-12-2026", "000120.jpg", 20, 1},  // the run's own folder, however old
};

void Fill(const fs::path& root) {
  for (const Folder& folder : kFolders) {
    fs::path file = root / folder.Name / folder.File;
    fs::create_directories(file.parent_path());
    std::ofstream(file) << std::string(size_t(folder.SizeMb) << 20, 'x');
    auto time = std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(kNow - folder.AgeDays * kDay));
    fs::last_write_time(root / folder.Name, time);
  }
}

std::vector<std::string> Left(const fs::path& root) {
  std::vector<std::string> left;
  for (const Folder& folder : kFolders)
    if (fs::exists(root / folder.Name)) left.push_back(folder.Name);
  return left;
}

TEST(RetentionTest, DeletesOnlyTheStationsOldFoldersWithinItsBounds) {
  TempDir dir;
  fs::path root = fs::path(dir.path()) / "fs";
  fs::create_directories(root);
  if (mount("korv-retention", root.c_str(), "tmpfs", 0, "size=12m") != 0)
    GTEST_SKIP() << "a small tmpfs can't be mounted here (needs root): " << std::strerror(errno);
  struct Unmount {
    std::string Path;
    ~Unmount() { umount2(Path.c_str(), MNT_DETACH); }
  } unmount{root.string()};
  struct Case {
    RetentionConfig Config;
    std::vector<std::string> Left;
  };
  const std::vector<Case> cases = {
      {{}, {"01-12-2026", "03-12-2026", "05-12-2026", "nights/2026-12-02", "nights/2026-12-06", "holiday",
            "09-12-2026"}},
      {{.KeepDays = 6}, {"05-12-2026", "nights/2026-12-06", "holiday", "09-12-2026"}},
      // 10 MB written of 12: 2 free, 5 wanted, so the two oldest go; then nothing more may be deleted.
      {{.MinFreeMb = 5}, {"03-12-2026", "05-12-2026", "nights/2026-12-06", "holiday", "09-12-2026"}},
      {{.MinFreeMb = 11}, {"nights/2026-12-06", "holiday", "09-12-2026"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "keep " << c.Config.KeepDays << " days, " << c.Config.MinFreeMb << " MB");
    fs::remove_all(root / "nights");
    for (const auto& entry : fs::directory_iterator(root)) fs::remove_all(entry.path());
    Fill(root);
    std::vector<std::string> log;
    Retention retention(root.string(), c.Config, [&](const std::string& line) { log.push_back(line); });
    retention.Expire(kNow, "09-12-2026");
    retention.EnsureFree("09-12-2026");
    retention.EnsureFree("09-12-2026");
    EXPECT_EQ(Left(root), c.Left);
    size_t deleted = kFolders.size() - c.Left.size();
    size_t shortage = c.Config.MinFreeMb > 5 ? 1 : 0;  // said once, not at every tick
    EXPECT_EQ(log.size(), deleted + shortage) << testing::PrintToString(log);
  }
}

}  // namespace
}  // namespace korv::test
