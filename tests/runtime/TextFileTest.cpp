#include <gtest/gtest.h>
#include <sys/stat.h>

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

}  // namespace korv
