#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "runtime/Exception.h"
#include "runtime/TextFile.h"
#include "tests/support/TempDir.h"

namespace korv {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(TextFile, WritesLinesEndedByCrLfWithTheGivenMode) {
  TempDir dir;
  WriteTextLines(dir.file("a.ini"), {"user", "", "5"}, 0600);
  EXPECT_EQ(ReadFile(dir.file("a.ini")), "user\r\n\r\n5\r\n");
  struct stat info{};
  ASSERT_EQ(::stat(dir.file("a.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(TextFile, ReadsCrLfAndBareLfLines) {
  TempDir dir;
  WriteFile(dir.file("a"), "one\r\ntwo\nthree");
  EXPECT_EQ(ReadTextLines(dir.file("a")), (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_FALSE(ReadTextLines(dir.file("missing")).has_value());
}

TEST(TextFile, InterruptedWriteLeavesTheOldFileAndNoLitter) {
  TempDir dir;
  WriteTextLines(dir.file("max.ser"), {"57"});
  testing::FailNextWriteBeforeRename();
  EXPECT_THROW(WriteTextLines(dir.file("max.ser"), {"58"}), EInOutError);
  EXPECT_EQ(ReadFile(dir.file("max.ser")), "57\r\n");
  WriteTextLines(dir.file("max.ser"), {"58"});
  EXPECT_EQ(ReadFile(dir.file("max.ser")), "58\r\n");
  int entries = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST(TextFile, WriteIntoMissingFolderRaisesInOutError) {
  TempDir dir;
  EXPECT_THROW(WriteTextLines(dir.file("no/such/file"), {"x"}), EInOutError);
}

TEST(TextFile, OddObjectsAndOversizedFilesAreRefusedWithoutWaiting) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  std::filesystem::create_directory(dir.file("folder"));
  std::filesystem::create_symlink("/dev/null", dir.file("device"));
  WriteFile(dir.file("large"), std::string(kMaxTextFileBytes + 1, '7'));
  const std::pair<const char*, const char*> cases[] = {
      {"fifo", "not a regular file"},
      {"folder", "not a regular file"},
      {"device", "not a regular file"},
      {"large", "larger than 65536 bytes"},
  };
  for (const auto& [name, why] : cases) {
    SCOPED_TRACE(name);
    try {
      ReadTextLines(dir.file(name));
      ADD_FAILURE() << "no exception";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.message(), "Cannot read " + dir.file(name) + ": " + why);
    }
  }
  WriteFile(dir.file("large"), std::string(kMaxTextFileBytes, '7'));
  EXPECT_EQ(ReadTextLines(dir.file("large"))->size(), 1u);
}

TEST(TextFile, LeftoverTemporariesOfOnlyThatFileAreRemoved) {
  TempDir dir;
  WriteFile(dir.file("max.ser"), "57\r\n");
  WriteFile(dir.file("max.ser.tmp-a1B2c3"), "5");
  WriteFile(dir.file("max.ser.tmp-Zz9yY8"), "");
  WriteFile(dir.file("max.ser.tmp-short"), "");
  WriteFile(dir.file("other.tmp-a1B2c3"), "");
  std::filesystem::create_directory(dir.file("max.ser.tmp-folder"));
  EXPECT_EQ(RemoveLeftoverTemporaries(dir.file("max.ser")), 2);
  std::vector<std::string> left;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) left.push_back(e.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"max.ser", "max.ser.tmp-folder", "max.ser.tmp-short", "other.tmp-a1B2c3"}));
}

}  // namespace korv
