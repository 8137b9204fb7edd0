#include "runtime/Log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "runtime/Clock.h"
#include "tests/support/TempDir.h"

namespace korv {
namespace {

using test::ReadFile;
using test::TempDir;

class MorningClock final : public Clock {
public:
  LocalTime Now() override { return {2026, 3, 7, 5, 4, 9}; }
  void Sleep(uint32_t) override {}
};

class LogTest : public ::testing::Test {
protected:
  void SetUp() override { Previous = SetClock(&Morning); }
  void TearDown() override { SetClock(Previous); }
  MorningClock Morning;
  Clock* Previous = nullptr;
  TempDir Dir;
};

TEST_F(LogTest, EachEntryIsOneLineWithItsLocalIsoTime) {
  RotatingLog log(Dir.file("korv-cps.log"));
  log.Write("Kép készítése");
  log.Write("Kapcsolati hiba!!\r\nsecond line");
  EXPECT_EQ(ReadFile(Dir.file("korv-cps.log")),
            "2026-03-07T05:04:09 Kép készítése\n"
            "2026-03-07T05:04:09 Kapcsolati hiba!! | second line\n");
  EXPECT_EQ(log.LostLines(), 0u);
}

TEST_F(LogTest, RotatesAtTheSizeLimitKeepingThreeOldFiles) {
  RotatingLog log(Dir.file("a.log"), 100, 3);
  // 20 stamp characters + 29 + line feed = 50 bytes: two lines fill a file.
  for (int i = 0; i < 9; ++i) log.Write("entry " + std::to_string(i) + std::string(22, '.'));
  auto entry = [](int i) { return "2026-03-07T05:04:09 entry " + std::to_string(i) + std::string(22, '.') + "\n"; };
  EXPECT_EQ(ReadFile(Dir.file("a.log")), entry(8));
  EXPECT_EQ(ReadFile(Dir.file("a.log.1")), entry(6) + entry(7));
  EXPECT_EQ(ReadFile(Dir.file("a.log.2")), entry(4) + entry(5));
  EXPECT_EQ(ReadFile(Dir.file("a.log.3")), entry(2) + entry(3));
  struct stat info{};
  EXPECT_NE(::stat(Dir.file("a.log.4").c_str(), &info), 0);
}

TEST_F(LogTest, AnUnwritableLogLosesLinesWithoutStoppingItsCaller) {
  ASSERT_EQ(::mkdir(Dir.file("folder.log").c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo(Dir.file("fifo.log").c_str(), 0644), 0);
  for (const char* name : {"folder.log", "fifo.log", "missing/x.log"}) {
    SCOPED_TRACE(name);
    RotatingLog log(Dir.file(name));
    log.Write("Start");
    log.Write(std::string(100000, 'x'));
    EXPECT_EQ(log.LostLines(), 2u);
  }
}

}  // namespace
}  // namespace korv
