#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "runtime/Exception.h"
#include "runtime/ScopeExit.h"
#include "station/PictureFiles.h"
#include "station/Settings.h"
#include "tests/support/TempDir.h"

namespace korv::test {
namespace {

TEST(PictureFilesTest, HighestNumberCountsOnlyNamesTheStationGives) {
  TempDir day;
  for (const char* name : {"000001.jpg", "000002.jpg", "000017.jpg", "1234.jpg", "000500.JPG", "000600.jpg.tmp",
                           "00070x.jpg", "99999999999999999999.jpg"}) {
    WriteFile(day.file(name), "x");
  }
  EXPECT_EQ(HighestPictureNumber(day.path()), 17);
  std::filesystem::create_directory(day.file("000040.jpg"));  // any object of that name takes it
  WriteFile(day.file("1000000.jpg"), "x");
  EXPECT_EQ(HighestPictureNumber(day.path()), 1000000);
  EXPECT_EQ(HighestPictureNumber(day.file("missing")), 0);
}

// What a camera library does with a picture: create the file, write it whole.
bool WritePicture(const std::string& path, size_t bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  std::string picture(bytes, '\xff');
  bool written = std::fwrite(picture.data(), 1, picture.size(), file) == picture.size();
  return std::fclose(file) == 0 && written;
}

TEST(PictureFilesTest, FailedTransferRemovesOnlyTheFileItMade) {
  TempDir day;
  WriteFile(day.file("000001.jpg"), "kept");
  PictureTarget kept(day.file("000001.jpg"));
  EXPECT_TRUE(kept.Taken());
  EXPECT_FALSE(kept.RemovePartial());
  EXPECT_EQ(ReadFile(day.file("000001.jpg")), "kept");

  PictureTarget fresh(day.file("000002.jpg"));
  EXPECT_FALSE(fresh.Taken());
  EXPECT_FALSE(fresh.RemovePartial());  // the transfer made nothing
  WriteFile(fresh.Path(), "half");
  EXPECT_TRUE(fresh.RemovePartial());
  EXPECT_FALSE(std::filesystem::exists(fresh.Path()));
}

TEST(PictureFilesTest, FullDiskLeavesNoPartialPictureAndPicturesResume) {
  TempDir folder;
  const std::string disk = folder.file("disk");
  std::filesystem::create_directory(disk);
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "mounting a small tmpfs needs root (" << std::strerror(errno) << "); full disk not tried";
  }
  auto unmount = ScopeExit([&] { ::umount2(disk.c_str(), MNT_DETACH); });
  const std::string counter = disk + "/" + kPictureNumberFile;
  auto freeBytes = [&] {
    struct statvfs info {};
    ::statvfs(disk.c_str(), &info);
    return uint64_t{info.f_bavail} * info.f_frsize;
  };
  WritePictureCounter(counter, 1);
  const uint64_t empty = freeBytes();

  PictureTarget first(disk + "/000001.jpg");
  ASSERT_FALSE(WritePicture(first.Path(), 100 * 1024));  // larger than the disk
  EXPECT_TRUE(std::filesystem::exists(first.Path()));    // what the library leaves behind
  EXPECT_THROW(WritePictureCounter(counter, 2), EInOutError);
  EXPECT_EQ(ReadFile(counter), "1\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(disk), {}), 2);  // no temporary file left
  EXPECT_TRUE(first.RemovePartial());
  EXPECT_FALSE(std::filesystem::exists(first.Path()));
  EXPECT_EQ(freeBytes(), empty);

  PictureTarget second(disk + "/000002.jpg");
  EXPECT_TRUE(WritePicture(second.Path(), 40 * 1024));
  WritePictureCounter(counter, 3);
  EXPECT_EQ(std::filesystem::file_size(second.Path()), 40u * 1024);
}

}  // namespace
}  // namespace korv::test
