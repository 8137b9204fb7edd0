// The station through its window and the simulated CD camera: what the
// camera receives is read from the library's call log, or back from the
// camera itself where the log holds only an address.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>

#include "camera/Obturo.h"
#include "camera/sdk/CodeTables.h"
#include "station/Settings.h"
#include "tests/camsim/CamSimControl.h"
#include "tests/station/StationFixture.h"
#include "tests/station/StoreScript.h"

namespace korv::test {
namespace {

uint32_t CdCode(CameraSetting setting, uint8_t ordinal) { return OrdinalToCode(CodeSet::CD, setting, ordinal); }

// The sky of every picture, so that no test depends on the hour it runs at.
const std::string kCamera = "camera CD\ntime 12:00\ndate 03-14\nclouds 30\n";

class CameraTest : public StationTest {
protected:
  CameraTest() : Camera(SimulatedLibrary::CD()) { Camera.Reset(); }
  ~CameraTest() override {
    Form.reset();
    Camera.Reset();
  }

  // Starts the station (without `config`, no uploads) and, unless told
  // otherwise, connects.
  TForm1& StartStation(const std::string& scenario = kCamera, bool connect = true,
                       const std::optional<StationConfig>& config = std::nullopt) {
    if (!scenario.empty()) Camera.LoadScenario(scenario);
    TForm1& form = Start(config.value_or(StationConfig{}));
    if (!config) form.CheckBox4->setChecked(false);
    if (connect) {
      form.Button1->click();
      EXPECT_EQ(Errors, std::vector<std::string>{});
      Camera.ClearLog();
    }
    return form;
  }

  // The value of the last call of `entry` (after the source handle), or -1.
  int64_t LastSent(const std::string& entry) const {
    auto calls = Camera.Calls(entry);
    return calls.empty() ? -1 : static_cast<int64_t>(calls.back().Args.at(1));
  }
  size_t CallCount(const std::string& entry) const { return Camera.Calls(entry).size(); }
  TCameraSettings CameraNow() { return Form->Obturo1->GetCameraSettings(); }

  // Serves the window's events until `done` holds, at most 10 s.
  // Generous: several one-second ticks with pictures rendered under the
  // sanitizers, on a machine that may be running other suites at once.
  bool ServeUntil(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
  }

  // One tick of Timer1, delivered as the timer would.
  void Tick() { QMetaObject::invokeMethod(Form->Timer1, "timeout", Qt::DirectConnection); }

  SimulatedLibrary& Camera;
};

// --- Connect ---

TEST_F(CameraTest, ConnectReadsTheCameraAndEnablesTheControlsSendingNothing) {
  TForm1& form = StartStation("camera CD\nzoom 3 12 7\nvalue ShootingMode 0\n", false);
  Camera.ClearLog();
  form.Button1->click();
  EXPECT_EQ(Errors, std::vector<std::string>{});
  EXPECT_TRUE(form.CheckBox1->isChecked());
  EXPECT_TRUE(form.CheckBox2->isChecked());
  EXPECT_EQ(form.Edit9->text(), "3");
  EXPECT_EQ(form.Edit10->text(), "7");
  EXPECT_TRUE(form.TrackBar1->isEnabled());
  EXPECT_EQ(form.TrackBar1->maximum(), 7);
  EXPECT_EQ(form.TrackBar1->value(), 0);  // not moved to the camera's position
  for (QWidget* control : std::initializer_list<QWidget*>{form.RadioButton1, form.RadioButton2, form.RadioButton3,
                                                           form.RadioButton4, form.RadioButton5, form.GroupBox2,
                                                           form.Button2, form.Button3, form.Button4}) {
    EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
  }
  for (const LoggedCall& call : Camera.Log()) {
    EXPECT_NE(call.Entry.rfind("CDSet", 0), 0u) << call.Entry << " sent at connect";
    EXPECT_NE(call.Entry, "CDRelease");
  }
}

TEST_F(CameraTest, ZoomMaximumZeroLeavesTheSliderDisabled) {
  TForm1& form = StartStation("camera CD\nzoom 0 0 0\n");
  EXPECT_EQ(form.Edit10->text(), "0");
  EXPECT_FALSE(form.TrackBar1->isEnabled());
  EXPECT_TRUE(form.Button3->isEnabled());
}

TEST_F(CameraTest, ZoomMaximumAbove16BitsShowsItsLowBits) {
  TForm1& form = StartStation("camera CD\nzoom 65539 12 65541\n");
  EXPECT_EQ(form.Edit10->text(), "5");
  EXPECT_EQ(form.Edit9->text(), "3");
  EXPECT_EQ(form.TrackBar1->maximum(), 5);
}

TEST_F(CameraTest, SliderMovesTheZoom) {
  TForm1& form = StartStation("camera CD\nzoom 0 12 8\n");
  form.TrackBar1->setValue(6);
  EXPECT_EQ(LastSent("CDSetZoomPos"), 6);
}

TEST_F(CameraTest, NoCameraNamesTheNewerModelsAndAPlugInLaterWorks) {
  Camera.LoadScenario("# nothing attached\n");
  TForm1& form = StartStation("", false);
  form.Button1->click();
  EXPECT_EQ(Errors, std::vector<std::string>{
                        "There seems to be no connected PowerShot cameras (newer than S80) connected. Have you called "
                        "the EnumerateCameras function before calling Connect?"});
  EXPECT_FALSE(form.Button3->isEnabled());
  Errors.clear();
  Camera.LoadScenario("camera CD\n");
  form.Button1->click();
  EXPECT_EQ(Errors, std::vector<std::string>{});
  EXPECT_TRUE(form.Button3->isEnabled());
}

TEST_F(CameraTest, AFailureAfterConnectLeavesTheStationUnusable) {
  TForm1& form = StartStation("", false);
  Camera.FailNext("CDGetReleaseControlFaculty", 1, 0x81);
  Camera.FailNext("CDEnterReleaseControl", 1, 0x81);
  form.Button1->click();
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_FALSE(form.Button3->isEnabled());
  Errors.clear();
  form.Button1->click();
  EXPECT_EQ(Errors, std::vector<std::string>{"Camera already connected."});
  EXPECT_FALSE(form.Button3->isEnabled());
}

// --- Presets ---

TEST_F(CameraTest, PresetsSetTheStateListsAndSendTheRecord) {
  struct Case {
    int Button;
    int32_t Interval;
    const char *Exposure, *Aperture, *Iso;  // shown
    bool IsoList, ApertureList, ExposureList;
    uint8_t ShootingMode, IsoSent;  // ordinals; day: the camera's own
    int Tv, Av;                     // ordinals sent, -1 = not sent
    const char* SettingsFile;       // "" = not written
  };
  const Case cases[] = {
      {1, 5, "Auto", "Auto", "Auto", false, false, false, 0, 1, -1, -1, ""},
      // Dusk shows ISO 50 but sends automatic ISO.
      {2, 7, "2 mp", "F8.0", "50", false, true, true, 2, 1, 14, 19, ""},
      {3, 10, "5 mp", "Auto", "50", true, false, true, 17, 2, 10, -1, "\r\n\r\n5\r\n5\r\n"},
      {4, 20, "10 mp", "Auto", "50", true, false, true, 17, 2, 7, -1, "\r\n\r\n5\r\n10\r\n"},
      {5, 30, "15 mp", "Auto", "50", true, false, true, 17, 2, 5, -1, "\r\n\r\n5\r\n15\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "RadioButton" << c.Button);
    Form.reset();
    Camera.Reset();
    TForm1& form = StartStation("camera CD\nvalue ShootingMode 0\n");
    const uint8_t dayMode = CameraNow().ShootingMode;  // as read at connect
    QRadioButton* buttons[] = {form.RadioButton1, form.RadioButton2, form.RadioButton3, form.RadioButton4,
                               form.RadioButton5};
    if (c.Button == 1) {
      buttons[1]->click();
      Camera.ClearLog();
    }
    std::filesystem::remove(File(kSettingsFile));
    buttons[c.Button - 1]->click();
    ASSERT_EQ(Errors, std::vector<std::string>{});

    EXPECT_EQ(form.ComboBox4->currentText(), QString::fromUtf8(c.Exposure));
    EXPECT_EQ(form.ComboBox3->currentText(), QString::fromUtf8(c.Aperture));
    EXPECT_EQ(form.ComboBox2->currentText(), QString::fromUtf8(c.Iso));
    EXPECT_EQ(form.ComboBox2->isEnabled(), c.IsoList);
    EXPECT_EQ(form.ComboBox3->isEnabled(), c.ApertureList);
    EXPECT_EQ(form.ComboBox4->isEnabled(), c.ExposureList);
    EXPECT_EQ(form.Edit2->text(), QString::number(c.Interval));
    EXPECT_EQ(form.Timer1->interval(), c.Interval * 1000);
    EXPECT_EQ(ReadFile(File(kSettingsFile)), c.SettingsFile);

    uint8_t mode = c.Button == 1 ? dayMode : c.ShootingMode;
    EXPECT_EQ(LastSent("CDSetShootingMode"), CdCode(CameraSetting::ShootingMode, mode));
    auto sent = [](CameraSetting setting, int ordinal) -> int64_t {
      return ordinal < 0 ? int64_t{-1} : int64_t{CdCode(setting, static_cast<uint8_t>(ordinal))};
    };
    EXPECT_EQ(LastSent("CDSetTvValue"), sent(CameraSetting::Tv, c.Tv));
    EXPECT_EQ(LastSent("CDSetAvValue"), sent(CameraSetting::Av, c.Av));
    TCameraSettings now = CameraNow();
    EXPECT_EQ(now.ISO, c.IsoSent);
    EXPECT_EQ(now.ColorSaturation, 3);
    EXPECT_EQ(now.FlashMode, 1);
    EXPECT_EQ(now.Quality, 2);
    EXPECT_EQ(now.ImageSize, 5);
  }
}

TEST_F(CameraTest, NightPresetKeepsTheAccountAndTheDayIntervalReadAtStart) {
  WriteFile(File(kSettingsFile), "anna\r\npw\r\n12\r\n15\r\n");
  TForm1& form = StartStation();
  form.RadioButton4->click();
  EXPECT_EQ(ReadFile(File(kSettingsFile)), "anna\r\npw\r\n12\r\n10\r\n");
}

TEST_F(CameraTest, NightTwoTimerAddsTheUploadTimeWhileUploading) {
  TForm1& form = StartStation();
  form.RadioButton4->click();
  EXPECT_EQ(form.Timer1->interval(), 20000);
  form.CheckBox4->setChecked(true);  // upload on: 10 s more from the next send
  form.RadioButton4->setChecked(false);
  form.RadioButton3->click();
  form.RadioButton4->click();
  EXPECT_EQ(form.Timer1->interval(), 30000);
}

TEST_F(CameraTest, AutoExposureInNightModeSendsTheCamerasOwnTvBack) {
  TForm1& form = StartStation();
  form.RadioButton3->click();
  uint8_t cameraTv = CameraNow().Tv;
  size_t before = CallCount("CDSetTvValue");
  form.ComboBox4->setCurrentIndex(0);
  emit form.ComboBox4->activated(0);
  EXPECT_EQ(CallCount("CDSetTvValue"), before + 1);
  EXPECT_EQ(LastSent("CDSetTvValue"), CdCode(CameraSetting::Tv, cameraTv));
}

TEST_F(CameraTest, ListsSendOnlyOnTheUsersChoice) {
  TForm1& form = StartStation();
  form.RadioButton3->click();
  size_t before = CallCount("CDSetRelCamSettingData");
  form.ComboBox2->setCurrentIndex(4);  // by program: nothing sent
  EXPECT_EQ(CallCount("CDSetRelCamSettingData"), before);
  emit form.ComboBox2->activated(4);
  EXPECT_EQ(CameraNow().ISO, 5);  // "400"
  form.CheckBox7->setChecked(true);
  EXPECT_EQ(CameraNow().FlashMode, 3);
}

TEST_F(CameraTest, DayModeRestoresTheShootingModeReadAtConnect) {
  TForm1& form = StartStation("camera CD\nvalue ShootingMode 0\n");
  uint8_t dayMode = CameraNow().ShootingMode;
  form.RadioButton5->click();
  EXPECT_NE(CameraNow().ShootingMode, dayMode);
  form.RadioButton1->click();
  EXPECT_EQ(CameraNow().ShootingMode, dayMode);
}

TEST_F(CameraTest, Edit2InNightModeChangesOnlyTheInterval) {
  TForm1& form = StartStation();
  form.RadioButton4->click();
  Camera.ClearLog();
  form.Edit2->setText("45");
  EXPECT_EQ(form.Timer1->interval(), 45000);
  EXPECT_TRUE(Camera.Log().empty());
  form.RadioButton1->click();
  EXPECT_EQ(form.Edit2->text(), "5");  // the day interval stayed
  form.Edit2->setText("46");
  form.RadioButton2->click();
  EXPECT_EQ(form.Edit2->text(), "46");  // the day interval, larger than dusk's
}

// Painting the station's view runs no handler and leaves what the user chose.
TEST_F(CameraTest, PaintingKeepsTheUsersChoicesAndRunsNoHandler) {
  TForm1& form = StartStation();
  form.ComboBox1->setCurrentIndex(5);  // no handler: only the next settings read it
  form.Button4->click();
  EXPECT_EQ(form.ComboBox1->currentIndex(), 5);
  form.RadioButton2->click();  // its interval 7 is painted into Edit2
  EXPECT_EQ(form.Edit2->text(), "7");
  EXPECT_EQ(CameraNow().ImageSize, 3);  // "Kis méret"
}

// --- Day and night ---

class DayNightTest : public CameraTest {
protected:
  // Small pictures: these tests are about the switch, not the picture.
  TForm1& StartStation() {
    TForm1& form = CameraTest::StartStation();
    form.ComboBox1->setCurrentIndex(5);  // "Kis méret"
    return form;
  }
  void Tick(int month, int day, int hour, int minute = 0) {
    Clock.Time = {2026, month, day, hour, minute, 0};
    CameraTest::Tick();
  }
  QRadioButton* Selected() { return qobject_cast<QRadioButton*>(Form->PresetButtons->checkedButton()); }
};

TEST_F(DayNightTest, MarchAfternoonSwitchesAtNineteenAndBackAtFive) {
  Clock.Time = {2026, 3, 14, 14, 0, 0};
  TForm1& form = StartStation();
  Tick(3, 14, 14);
  EXPECT_EQ(Selected(), form.RadioButton1);
  EXPECT_EQ(CallCount("CDSetShootingMode"), 0u);
  EXPECT_EQ(CallCount("CDRelease"), 1u);
  Tick(3, 14, 18, 59);
  EXPECT_EQ(Selected(), form.RadioButton1);
  Tick(3, 14, 19, 0);
  EXPECT_EQ(Selected(), form.RadioButton5);
  EXPECT_EQ(form.Edit2->text(), "30");
  Tick(3, 14, 23);
  Tick(3, 15, 0);
  Tick(3, 15, 4, 59);
  EXPECT_EQ(Selected(), form.RadioButton5);
  Tick(3, 15, 5, 0);
  EXPECT_EQ(Selected(), form.RadioButton1);
  EXPECT_EQ(form.Edit2->text(), "5");  // the night did not become the day interval
  EXPECT_FALSE(form.ComboBox4->isEnabled());
  EXPECT_EQ(form.Edit1->text(), QString::fromUtf8("Kép beolvasása -000007.jpg"));
  EXPECT_EQ(Errors, std::vector<std::string>{});
}

TEST_F(DayNightTest, JanuaryEveningSwitchesOnTheFirstTick) {
  Clock.Time = {2026, 1, 10, 20, 30, 0};
  TForm1& form = StartStation();
  Tick(1, 10, 20, 30);
  EXPECT_EQ(Selected(), form.RadioButton5);
  EXPECT_EQ(LastSent("CDSetShootingMode"), CdCode(CameraSetting::ShootingMode, 17));
}

TEST_F(DayNightTest, JuneMorningReappliesDayModeOnTheFirstTick) {
  TForm1& form = StartStation();
  uint8_t dayMode = CameraNow().ShootingMode;
  Tick(6, 20, 8);
  EXPECT_EQ(Selected(), form.RadioButton1);
  EXPECT_EQ(LastSent("CDSetShootingMode"), CdCode(CameraSetting::ShootingMode, dayMode));
}

TEST_F(DayNightTest, NightIntervalIsTwiceTheExposureButNotBelowTheDayInterval) {
  WriteFile(File(kSettingsFile), "\r\n\r\n25\r\n10\r\n");
  TForm1& form = StartStation();
  Tick(1, 10, 18);
  EXPECT_EQ(Selected(), form.RadioButton4);
  EXPECT_EQ(form.Edit2->text(), "25");
  EXPECT_EQ(ReadFile(File(kSettingsFile)), "\r\n\r\n25\r\n10\r\n");
  Form.reset();
  Camera.Reset();
  WriteFile(File(kSettingsFile), "\r\n\r\n5\r\n10\r\n");
  StartStation();
  Tick(1, 10, 18);
  EXPECT_EQ(Form->Edit2->text(), "20");
  EXPECT_EQ(ReadFile(File(kSettingsFile)), "\r\n\r\n5\r\n10\r\n");  // the day interval stays 5
}

// A remembered night exposure no preset has: the evening switch selects no
// preset and leaves the exposure list's item, which is what is sent.
TEST_F(DayNightTest, AnEveningExposureTheListLacksKeepsTheListsItem) {
  WriteFile(File(kSettingsFile), "\r\n\r\n5\r\n7\r\n");
  TForm1& form = StartStation();
  form.RadioButton2->click();  // "2 mp"
  Tick(1, 10, 18);
  EXPECT_EQ(Selected(), form.RadioButton2);
  EXPECT_EQ(form.Edit2->text(), "14");
  EXPECT_EQ(form.ComboBox4->currentText(), "2 mp");
  EXPECT_EQ(LastSent("CDSetTvValue"), CdCode(CameraSetting::Tv, 14));
}

TEST_F(DayNightTest, StartAndStopSwitchTheTimerAndTheImageSizeList) {
  TForm1& form = StartStation();
  form.Edit4->setText("anna");
  form.Button3->click();
  EXPECT_TRUE(form.Timer1Enabled());
  EXPECT_TRUE(form.Timer1->isActive());
  EXPECT_FALSE(form.ComboBox1->isEnabled());
  EXPECT_FALSE(std::filesystem::exists(File(kSettingsFile)));  // no password: nothing stored
  form.Button4->click();
  EXPECT_FALSE(form.Timer1->isActive());
  EXPECT_TRUE(form.ComboBox1->isEnabled());
  form.Edit5->setText("pw");
  form.Button3->click();
  EXPECT_EQ(ReadFile(File(kSettingsFile)), "anna\r\npw\r\n5\r\n15\r\n");
  EXPECT_EQ(CallCount("CDRelease"), 0u);  // the first picture is one interval away
}

// --- Pictures ---

class PictureTest : public CameraTest {
protected:
  std::string PictureFile(const std::string& name) const { return Form->Core.View().PictureFolder + "/" + name; }
  int64_t NextPicture() const { return Form->Core.View().NextPicture; }
};

TEST_F(PictureTest, EachPictureIsSavedShownAndCounted) {
  TForm1& form = StartStation();
  QStringList statuses;
  QObject::connect(form.Edit1, &QLineEdit::textChanged, [&](const QString& text) { statuses << text; });
  Tick();
  ASSERT_EQ(Errors, std::vector<std::string>{});
  EXPECT_EQ(statuses, QStringList({QString::fromUtf8("Kép készítése"), QString::fromUtf8("Kép mentése 000001.jpg"),
                                   QString::fromUtf8("Kép beolvasása -000001.jpg")}));
  EXPECT_TRUE(std::filesystem::file_size(PictureFile("000001.jpg")) > 1000);
  EXPECT_EQ(ReadFile(File(kPictureNumberFile)), "2\r\n");
  EXPECT_EQ(NextPicture(), 2);
  EXPECT_EQ(form.Image1->pixmap().size(), QSize(385, 281));
}

TEST_F(PictureTest, LongNumbersAreNotCut) {
  NumberFrom(999999);
  StartStation();
  Tick();
  EXPECT_TRUE(std::filesystem::exists(PictureFile("999999.jpg")));
  EXPECT_EQ(ReadFile(File(kPictureNumberFile)), "1000000\r\n");
  Tick();
  EXPECT_TRUE(std::filesystem::exists(PictureFile("1000000.jpg")));
  EXPECT_EQ(NextPicture(), 1000001);
}

TEST_F(PictureTest, AFailedTransferIsReportedAndTheNumberStays) {
  StartStation();
  Camera.FailNext("CDGetReleasedData", 1, 0x28);
  Tick();
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0].rfind("CDGetReleasedData errorcode 0x00000028", 0), 0u) << Errors[0];
  EXPECT_EQ(NextPicture(), 1);
  EXPECT_FALSE(std::filesystem::exists(File(kPictureNumberFile)));
}

TEST_F(PictureTest, AFailedReleaseEndsTheTickAndTheTimerGoesOn) {
  TForm1& form = StartStation();
  form.Button3->click();
  Camera.FailNext("CDRelease", 1, 0x81);
  Tick();
  EXPECT_EQ(Errors.size(), 1u);
  EXPECT_TRUE(form.Timer1->isActive());
  Errors.clear();
  Tick();
  EXPECT_EQ(Errors, std::vector<std::string>{});
  EXPECT_EQ(NextPicture(), 2);
}

TEST_F(PictureTest, AReleaseFailingOnceShowsOneBoxWhileTheTimerTakesAndUploadsPictures) {
  ScriptedServer server(
      StoreSessions(3, StoreSession("u", "p", {Send("226 done\r\n"), Expect("QUIT"), Send("221 bye\r\n")})));
  // The upload box as the window leaves it: no time added to the interval.
  TForm1& form = StartStation(kCamera + "fail CDRelease 1 0x00000081 after 1\n", true,
                              StationConfig{.UploadHost = server.host(), .UploadPort = server.port()});
  SetErrorReporter(nullptr);  // the box itself, not the recorder
  form.ComboBox1->setCurrentIndex(5);
  form.Edit4->setText("u");
  form.Edit5->setText("p");
  form.Edit2->setText("1");
  int uploaded = 0;
  QObject::connect(form.Edit3, &QLineEdit::textChanged, [&](const QString& text) {
    uploaded += text == QString::fromUtf8("Feltöltés sikeres");
  });
  form.Button3->click();
  ASSERT_TRUE(ServeUntil([&] { return uploaded == 3; }));  // pictures 1 to 3: ticks 1, 3 and 4
  form.Button4->click();
  EXPECT_EQ(server.finish(), "");
  EXPECT_EQ(NextPicture(), 4);
  auto boxes = form.findChildren<QMessageBox*>(QStringLiteral("ErrorBox"));
  ASSERT_EQ(boxes.size(), 1);
  QMessageBox* box = boxes.front();
  EXPECT_TRUE(box->isVisible());
  EXPECT_EQ(box->windowModality(), Qt::NonModal);
  EXPECT_TRUE(box->text().startsWith("CDRelease errorcode 0x00000081")) << box->text().toStdString();
  EXPECT_EQ(box->informativeText(), "");  // one error, no count
  box->close();
}

TEST_F(PictureTest, TheRealErrorBoxLeavesTheTimerTakingPictures) {
  TForm1& form = StartStation();
  SetErrorReporter(nullptr);  // the box itself, not the recorder
  form.ComboBox1->setCurrentIndex(5);  // small pictures keep the ticks short
  form.Edit2->setText("1");
  form.Button3->click();
  auto boxes = [&] { return form.findChildren<QMessageBox*>(QStringLiteral("ErrorBox")); };
  Camera.FailNext("CDRelease", 1, 0x81);
  ASSERT_TRUE(ServeUntil([&] { return !boxes().empty(); }));
  QMessageBox* box = boxes().front();
  EXPECT_FALSE(box->isModal());
  EXPECT_TRUE(box->text().startsWith("CDRelease errorcode 0x00000081")) << box->text().toStdString();
  ASSERT_TRUE(ServeUntil([&] { return NextPicture() == 3; }));
  EXPECT_TRUE(box->isVisible());

  Camera.FailNext("CDRelease", 1, 0x83);
  ASSERT_TRUE(ServeUntil([&] { return box->text().contains("0x00000083"); }));
  EXPECT_EQ(boxes().size(), 1);
  EXPECT_TRUE(box->informativeText().startsWith("2 errors")) << box->informativeText().toStdString();
  ASSERT_TRUE(ServeUntil([&] { return NextPicture() == 4; }));
  form.Button4->click();
  box->close();
}

TEST_F(PictureTest, OtherCameraEventsChangeNothing) {
  TForm1& form = StartStation();
  form.Edit1->setText("idle");
  Camera.RaiseReleaseEvent(28, 0, 0);  // release start
  EXPECT_EQ(form.Edit1->text(), "idle");
  EXPECT_EQ(NextPicture(), 1);
  EXPECT_TRUE(std::filesystem::is_empty(form.Core.View().PictureFolder));
}

TEST_F(PictureTest, TestPictureIsNumberedLikeTheCycle) {
  NumberFrom(57);
  TForm1& form = StartStation();
  form.Button2->click();
  EXPECT_EQ(Errors, std::vector<std::string>{});
  EXPECT_TRUE(std::filesystem::exists(PictureFile("000057.jpg")));
  EXPECT_EQ(ReadFile(File(kPictureNumberFile)), "58\r\n");
  EXPECT_EQ(CallCount("CDSetShootingMode"), 1u);  // settings sent first
}

TEST_F(PictureTest, EventsFromTheLibrarysThreadAreHandledOnTheWindowThread) {
  TForm1& form = StartStation(kCamera + "events thread\n");
  std::vector<QThread*> threads;
  QObject::connect(form.Edit1, &QLineEdit::textChanged, [&] { threads.push_back(QThread::currentThread()); });
  form.Button2->click();
  ASSERT_TRUE(ServeUntil([&] { return NextPicture() == 2; }));
  ASSERT_TRUE(ServeUntil([&] { return Camera.WaitIdle(0); }));
  EXPECT_EQ(Errors, std::vector<std::string>{});
  EXPECT_TRUE(std::filesystem::exists(PictureFile("000001.jpg")));
  ASSERT_EQ(threads.size(), 2u);
  for (QThread* thread : threads) EXPECT_EQ(thread, form.thread());
}

}  // namespace
}  // namespace korv::test
