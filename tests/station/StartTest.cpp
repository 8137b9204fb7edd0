#include <QComboBox>
#include <QPushButton>
#include <QDate>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QTimer>

#include <filesystem>

#include "runtime/Convert.h"
#include "runtime/Exception.h"
#include "runtime/TextFile.h"
#include "station/Settings.h"
#include "tests/station/StationFixture.h"

namespace korv::test {
namespace {

using StartTest = StationTest;

TEST_F(StartTest, WithoutSettingsFileKeepsTheDefaults) {
  TForm1& form = Start();
  EXPECT_EQ(form.Edit4->text(), "");
  EXPECT_EQ(form.Edit5->text(), "");
  EXPECT_EQ(form.Edit2->text(), "5");
  EXPECT_EQ(form.Core.RetryDelayMs(), 5000);
  EXPECT_EQ(form.ComboBox1->currentText(), QString::fromUtf8("Közepes méret-2"));
  EXPECT_TRUE(Errors.empty());
}

TEST_F(StartTest, SettingsFileFillsFieldsAndState) {
  struct Case {
    const char* Name;
    const char* File;
    const char* User;
    const char* Password;
    const char* Edit2;
    int32_t Interval;
  };
  const Case cases[] = {
      {"full", "anna\r\ns3cr\xe9t\r\n12\r\n10\r\n", "anna", "s3cr\xc3\xa9t", "12", 12},
      // Outside Edit2's own range, yet taken as it stands.
      {"interval 200", "u\r\np\r\n200\r\n5\r\n", "u", "p", "200", 200},
      {"bare LF", "u\np\n30\n15\n", "u", "p", "30", 30},
      // An interval line that gives no positive number gives the default.
      {"two lines", "u\r\np\r\n", "u", "p", "5", 5},
      {"empty interval line", "u\r\np\r\n\r\n10\r\n", "u", "p", "5", 5},
      {"malformed numbers", "u\r\np\r\nabc\r\nxyz\r\n", "u", "p", "5", 5},
      {"zero interval", "u\r\np\r\n0\r\n10\r\n", "u", "p", "5", 5},
      {"negative interval", "u\r\np\r\n-3\r\n", "u", "p", "5", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteFile(File(kSettingsFile), c.File);
    TForm1& form = Start();
    EXPECT_EQ(form.Edit4->text(), QString::fromUtf8(c.User));
    EXPECT_EQ(form.Edit5->text(), QString::fromUtf8(c.Password));
    EXPECT_EQ(form.Edit2->text(), QString::fromUtf8(c.Edit2));
    EXPECT_EQ(form.Core.RetryDelayMs(), c.Interval * 1000);
    EXPECT_TRUE(Errors.empty());
  }
}

TEST_F(StartTest, ExistingDayFolderContinuesFromMaxSer) {
  NumberFrom(57);
  TForm1& form = Start();
  EXPECT_EQ(form.Core.View().PictureFolder, File(TodaysFolder()));
  EXPECT_EQ(form.Core.View().NextPicture, 57);
}

TEST_F(StartTest, ExistingDayFolderWithoutMaxSerStartsAtOne) {
  std::filesystem::create_directory(File(TodaysFolder()));
  EXPECT_EQ(Start().Core.View().NextPicture, 1);
}

TEST_F(StartTest, NewDayCreatesTheFolderAndStartsAtOne) {
  WriteFile(File(kPictureNumberFile), "57\r\n");
  TForm1& form = Start();
  EXPECT_TRUE(std::filesystem::is_directory(form.Core.View().PictureFolder));
  EXPECT_EQ(form.Core.View().NextPicture, 1);
}

TEST_F(StartTest, DayFolderNameHoldsNoPathSeparator) {
  for (const char* locale : {"C", "en_US", "hu_HU", "de_DE", "ja_JP"}) {
    SCOPED_TRACE(locale);
    QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
    std::string name = PictureDirName(QLocale().toString(QDate(2026, 12, 8), QLocale::ShortFormat).toStdString());
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(name.find('/'), std::string::npos);
  }
  QLocale::setDefault(QLocale::system());
  EXPECT_EQ(PictureDirName("12/8/26"), "12-8-26");
  EXPECT_EQ(PictureDirName("2026. 12. 08."), "2026. 12. 08.");
}

TEST(SettingsFileTest, SaveWritesFourLinesWithCrLfReadableByOwnerOnly) {
  TempDir folder;
  SaveSettings(folder.file(kSettingsFile), "anna", "pw", 45, 10);
  EXPECT_EQ(ReadFile(folder.file(kSettingsFile)), "anna\r\npw\r\n45\r\n10\r\n");
  EXPECT_EQ(std::filesystem::status(folder.file(kSettingsFile)).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST(SettingsFileTest, InterruptedWriteLeavesTheOldFile) {
  TempDir folder;
  const std::string settings = folder.file(kSettingsFile), counter = folder.file(kPictureNumberFile);
  SaveSettings(settings, "anna", "pw", 45, 10);
  WritePictureCounter(counter, 57);
  testing::FailNextWriteBeforeRename();
  EXPECT_THROW(SaveSettings(settings, "bob", "x", 5, 15), EInOutError);
  testing::FailNextWriteBeforeRename();
  EXPECT_THROW(WritePictureCounter(counter, 58), EInOutError);
  EXPECT_EQ(ReadFile(folder.file(kSettingsFile)), "anna\r\npw\r\n45\r\n10\r\n");
  EXPECT_EQ(ReadFile(folder.file(kPictureNumberFile)), "57\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 2);
}

TEST(SettingsFileTest, PictureCounterReadsItsFirstLine) {
  TempDir folder;
  const std::string counter = folder.file(kPictureNumberFile);
  EXPECT_EQ(ReadPictureCounter(counter), 1);
  WritePictureCounter(counter, 1000000);
  EXPECT_EQ(ReadFile(counter), "1000000\r\n");
  EXPECT_EQ(ReadPictureCounter(counter), 1000000);
  WriteFile(counter, "124\n");
  EXPECT_EQ(ReadPictureCounter(counter), 124);
  WriteFile(counter, "garbage\r\n");
  EXPECT_EQ(ReadPictureCounter(counter), 1);
  // Past 32 bits, and never below 1.
  WriteFile(counter, "4294967296\r\n");
  EXPECT_EQ(ReadPictureCounter(counter), 4294967296);
  WriteFile(counter, "-5\r\n");
  EXPECT_EQ(ReadPictureCounter(counter), 1);
}

TEST_F(StartTest, Edit2TakesOnlyWholeNumbersFrom1To99) {
  const std::pair<const char*, bool> cases[] = {{"45", true},  {"1", true},  {"99", true},
                                                {"0", false},  {"100", false}, {"-3", false},
                                                {"a", false},  {"4a", false},  {"", false}};
  for (const auto& [text, taken] : cases) {
    SCOPED_TRACE(text);
    TForm1& form = Start();
    form.Edit2->setText(QString::fromLatin1(text));
    int32_t expected = taken ? StrToIntDef(text, 0) : 5;
    EXPECT_EQ(form.Core.RetryDelayMs(), expected * 1000);
    EXPECT_EQ(form.Timer1->interval(), taken ? expected * 1000 : 10000);
  }
}

}  // namespace
}  // namespace korv::test
