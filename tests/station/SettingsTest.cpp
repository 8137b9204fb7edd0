#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "runtime/Exception.h"
#include "station/Settings.h"
#include "tests/support/TempDir.h"

namespace korv::test {
namespace {

class SettingsTest : public ::testing::Test {
protected:
  TempDir Folder;
  std::string File(const char* name) const { return Folder.file(name); }
};

TEST_F(SettingsTest, FileOfAnEarlierStationComesBackByteForByte) {
  // ó, é ő ű and a byte the code page leaves unused, in Windows-1250.
  const std::string file = "j\xf3zsef\r\n\xe9\xf5\xfb\x81\r\n12\r\n10\r\n";
  WriteFile(File(kSettingsFile), file);
  std::optional<SettingsLines> read = ReadSettings(File(kSettingsFile));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->User, "j\xc3\xb3zsef");
  EXPECT_EQ(read->Password, "\xc3\xa9\xc5\x91\xc5\xb1\xc2\x81");
  EXPECT_EQ(AccountProblem(read->User, read->Password), "");
  SaveSettings(File(kSettingsFile), read->User, read->Password, IntervalOf(read->Interval), NightExposureOf(read->NightExposure));
  EXPECT_EQ(ReadFile(File(kSettingsFile)), file);
}

TEST_F(SettingsTest, AccountOutsideTheCodePageIsRefusedAndNothingIsWritten) {
  WriteFile(File(kSettingsFile), "anna\r\npw\r\n5\r\n15\r\n");
  EXPECT_EQ(AccountProblem("\xd0\xb6" "enya", "pw"),
            "The user name holds \"\xd0\xb6\", which is not in the Windows-1250 code page of the settings file");
  EXPECT_EQ(AccountProblem("anna", "ok\xe2\x9c\x93"),
            "The password holds \"\xe2\x9c\x93\", which is not in the Windows-1250 code page of the settings file");
  EXPECT_THROW(SaveSettings(File(kSettingsFile), "anna", "ok\xe2\x9c\x93", 5, 15), EConvertError);
  EXPECT_EQ(ReadFile(File(kSettingsFile)), "anna\r\npw\r\n5\r\n15\r\n");
}

TEST(SettingsLinesTest, IntervalAndNightExposureOfTheirLines) {
  const std::pair<const char*, int32_t> intervals[] = {
      {"", 5},   {"abc", 5}, {"0", 5},     {"-5", 5},   {"12a", 5},           {"99999999999", 5},
      {"1", 1},  {"12", 12}, {" 30 ", 30}, {"200", 200}, {"2147483647", 2147483647},
  };
  for (const auto& [line, interval] : intervals) {
    SCOPED_TRACE(line);
    EXPECT_EQ(IntervalOf(line), interval);
  }
  const std::pair<const char*, uint16_t> exposures[] = {{"", 0},   {"10", 10},    {"5", 5},
                                                        {"x", 15}, {"70000", 15}, {"-1", 15}};
  for (const auto& [line, exposure] : exposures) {
    SCOPED_TRACE(line);
    EXPECT_EQ(NightExposureOf(line), exposure);
  }
}

// Whatever "max.ser" holds, the first picture never names one already kept.
TEST_F(SettingsTest, PictureCounterOfEveryKindOfMaxSerSkipsThePicturesKept) {
  const std::string day = File("8-12-26");
  std::filesystem::create_directory(day);
  for (const char* name : {"000001.jpg", "000002.jpg", "000003.jpg"}) WriteFile(day + "/" + name, name);
  struct Case {
    const char* Name;
    std::function<void(const std::string&)> Make;
    int64_t Counter;
    const char* Problem;
  };
  auto content = [](std::string text) { return [text](const std::string& path) { WriteFile(path, text); }; };
  const Case cases[] = {
      {"missing", [](const std::string&) {}, 1, ""},
      {"behind", content("2\r\n"), 2, ""},
      {"number", content("57\r\n"), 57, ""},
      {"beyond32bits", content("2147483648\r\n"), 2147483648, ""},
      {"empty", content(""), 1, "max.ser holds no picture number (\"\")"},
      {"garbage", content("garbage\r\n"), 1, "max.ser holds no picture number (\"garbage\")"},
      {"zero", content("0\r\n"), 1, "max.ser holds no picture number (\"0\")"},
      {"negative", content("-3\r\n"), 1, "max.ser holds no picture number (\"-3\")"},
      {"beyondLast", content("1000000000000000000\r\n"), 1,
       "max.ser holds no picture number (\"1000000000000000000\")"},
      {"100MB", [](const std::string& path) { WriteFile(path, ""); std::filesystem::resize_file(path, 100'000'000); },
       1, "max.ser: larger than 65536 bytes"},
      {"folder", [](const std::string& path) { std::filesystem::create_directory(path); }, 1,
       "max.ser: not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::filesystem::remove_all(File(kPictureNumberFile));
    c.Make(File(kPictureNumberFile));
    std::string problem;
    int64_t counter = ReadPictureCounter(File(kPictureNumberFile), &problem);
    EXPECT_EQ(counter, c.Counter);
    // The problem names the file; a missing one is none.
    EXPECT_EQ(problem.empty(), *c.Problem == 0) << problem;
    EXPECT_NE(problem.find(c.Problem), std::string::npos) << problem;
    EXPECT_EQ(SafePictureCounter(day, counter), std::max<int64_t>(c.Counter, 4));
  }
  for (const char* name : {"000001.jpg", "000002.jpg", "000003.jpg"}) EXPECT_EQ(ReadFile(day + "/" + name), name);
}

}  // namespace
}  // namespace korv::test
