// A station window started in a fresh working folder on a set date, with
// the error report recorded instead of shown.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <QDate>
#include <QLocale>

#include <filesystem>

#include "runtime/Clock.h"
#include "station/Settings.h"
#include "station/window/ErrorReport.h"
#include "station/window/cps.h"
#include "tests/support/TempDir.h"

namespace korv::test {

class FixedClock final : public Clock {
public:
  LocalTime Time{2026, 3, 14, 14, 0, 0};
  LocalTime Now() override { return Time; }
  void Sleep(uint32_t) override {}
};

class StationTest : public ::testing::Test {
protected:
  StationTest() {
    PreviousClock = SetClock(&Clock);
    PreviousReporter = SetErrorReporter([this](const std::string& message) { Errors.push_back(message); });
  }
  ~StationTest() override {
    Form.reset();
    SetErrorReporter(PreviousReporter);
    SetClock(PreviousClock);
  }

  TForm1& Start(const StationConfig& config = {}) {
    Form = std::make_unique<TForm1>(Folder.path(), config);
    return *Form;
  }
  std::string File(const std::string& name) const { return Folder.file(name); }
  // The folder of the clock's day, as the station names it.
  std::string TodaysFolder() const {
    QDate date(Clock.Time.Year, Clock.Time.Month, Clock.Time.Day);
    return PictureDirName(QLocale::system().toString(date, QLocale::ShortFormat).toStdString());
  }
  // A station started again today continues its numbering at `number`.
  void NumberFrom(int64_t number) {
    std::filesystem::create_directory(File(TodaysFolder()));
    WriteFile(File(kPictureNumberFile), std::to_string(number) + "\r\n");
  }

  TempDir Folder;
  FixedClock Clock;
  std::vector<std::string> Errors;
  std::unique_ptr<TForm1> Form;

private:
  korv::Clock* PreviousClock;
  ErrorReporter PreviousReporter;
};

}  // namespace korv::test
