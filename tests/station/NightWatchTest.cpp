// The station's night builds with a stand-in for korv-night that fails.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "station/NightWatch.h"
#include "tests/support/TempDir.h"

namespace korv::test {
namespace {

// A build that fails is tried once more by day; a night whose second build
// fails as well keeps its pictures.
TEST(NightWatchTest, AFailedBuildIsTriedOnceMore) {
  for (bool twice : {false, true}) {
    SCOPED_TRACE(twice ? "fails twice" : "fails once");
    TempDir folder;
    const std::string program = folder.file("korv-night");
    WriteFile(program, twice ? "#!/bin/sh\nexit 3\n"
                             : "#!/bin/sh\n[ -e \"$2/tried\" ] || { touch \"$2/tried\"; exit 3; }\n"
                               "for p in keogram.jpg startrails.jpg timelapse.mp4; do echo x > \"$2/$p\"; done\n");
    chmod(program.c_str(), 0755);
    std::string log;
    NightWatch watch(folder.path(), {.Enabled = true, .Program = program, .RetryAfterS = 0},
                     [&](const std::string& line) { log += line + "\n"; });
    PublishQueue queue([](const std::string&) {});
    watch.Tick({2026, 12, 9, 22, 0, 0}, true, queue);
    WriteFile(folder.file("000001.jpg"), "picture");
    watch.Picture(folder.file("000001.jpg"));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    const char* end = twice ? "again; its pictures stay" : "built and queued";
    for (; log.find(end) == std::string::npos && std::chrono::steady_clock::now() < deadline;
         std::this_thread::sleep_for(std::chrono::milliseconds(10)))
      watch.Tick({2026, 12, 10, 8, 0, 0}, false, queue);
    EXPECT_NE(log.find(end), std::string::npos) << log;
    EXPECT_EQ(queue.Pending(), twice ? 0u : 6u);
    EXPECT_EQ(std::filesystem::exists(folder.file("nights/2026-12-09/pictures/000001.jpg")), twice);
  }
}

}  // namespace
}  // namespace korv::test
