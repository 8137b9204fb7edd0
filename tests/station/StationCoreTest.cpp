// The station without a window, as a user drives it: what the user set in,
// what the view, the simulated CD camera and a scripted FTP server show out.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <tuple>

#include "camera/Obturo.h"
#include "ftp/IdFTP.h"
#include "runtime/Exception.h"
#include "station/CaptureCycle.h"
#include "station/Station.h"
#include "tests/camsim/CamSimControl.h"
#include "tests/station/StoreScript.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

namespace korv::test {
namespace {

// Records what the station shows; a preview can be made to fail.
class RecordingSink final : public StationSink {
public:
  void ShowStatus(const std::string& text) override { Statuses.push_back(text); }
  std::optional<double> ShowPreview(const std::string& path) override {
    if (FailPreview) throw EInOutError("Cannot decode " + path);
    return Brightness;
  }
  void ShowUploadStatus(const std::string& text) override { Uploads.push_back(text); }
  void ShowConnected(bool) override {}
  void ShowProgress(int) override {}

  std::vector<std::string> Statuses, Uploads;
  bool FailPreview = false;
  std::optional<double> Brightness;  // what each picture measures
};

class SetClockTo final : public Clock {
public:
  LocalTime Time{2026, 6, 21, 12, 0, 0};
  LocalTime Now() override { return Time; }
  void Sleep(uint32_t) override {}
};

class StationCoreTest : public ::testing::Test {
protected:
  StationCoreTest() : Library(SimulatedLibrary::CD()), Previous(SetClock(&Clock)) { Input.Upload = false; }
  ~StationCoreTest() override {
    Core.reset();
    Camera.reset();
    SetClock(Previous);
    Library.Reset();
  }

  // Starts the station with `settings` as its settings file and connects the camera.
  Station& Begin(const std::string& settings = "", const StationConfig& config = {}) {
    if (!settings.empty()) WriteFile(File(kSettingsFile), settings);
    Core.reset();
    Camera.reset();
    Library.Reset();
    Library.LoadScenario("camera CD\ntime 12:00\ndate 06-21\nclouds 0\nvalue ImageFormat 2:2\n");
    Camera = std::make_unique<TObturo>();
    Core = std::make_unique<Station>(*Camera, Ftp, Folder.path(), config);
    Camera->OnRemoteEvent = [this](RemoteEventCallbackType event, AdditionNotifyRemoteEventType) {
      Core->HandlePicture(event, Input, Sink);
    };
    Core->FormCreate([](const LocalTime&) { return std::string("06-21-26"); });
    Follow();
    Input.ImageSizeItem = 5;  // small pictures: these are about the station, not the picture
    Core->Connect(Input);
    return *Core;
  }
  // The controls show the station's view, as the window paints it.
  void Follow() {
    StationView view = Core->TakeView();
    Input.Preset = view.Preset;
    Input.IntervalText = view.IntervalText;
    for (auto [item, chosen] : {std::pair(&Input.ImageSizeItem, view.ImageSizeItem),
                                {&Input.ExposureItem, view.ExposureItem}, {&Input.ApertureItem, view.ApertureItem},
                                {&Input.IsoItem, view.IsoItem}}) {
      if (chosen) *item = *chosen;
    }
    if (view.SteeredTexts) Shown = *view.SteeredTexts;
  }
  void Select(int preset) {
    Input.Preset = preset;
    Core->PresetSelected(Input);
    Follow();
  }
  void Tick(const LocalTime& time) {
    Clock.Time = time;
    Core->Tick(Input, Sink);
    Follow();
  }
  size_t Sends() const { return Library.Calls("CDSetShootingMode").size(); }
  std::string File(const std::string& name) const { return Folder.file(name); }
  std::string Picture(const std::string& name) const { return Core->View().PictureFolder + "/" + name; }

  TempDir Folder;
  SimulatedLibrary& Library;
  SetClockTo Clock;
  korv::Clock* Previous;
  std::unique_ptr<TObturo> Camera;
  TIdFTP Ftp;
  std::unique_ptr<Station> Core;
  StationInput Input;
  RecordingSink Sink;
  ExposureListTexts Shown;  // what the lists last showed of a steered exposure
};

// The switches fire on the first tick past their hour, select the preset
// and send it; the night interval is never below the day interval, the day
// one never below the day preset's.
TEST_F(StationCoreTest, TheSwitchesFollowTheMonthsHoursAndThePreviousTick) {
  struct Case {
    const char* Settings;  // day interval, night exposure
    int Month;
    std::vector<std::tuple<int, int, int>> Ticks;  // day, hour, the preset then selected
    const char* Interval;                           // shown after the last tick
  };
  const Case cases[] = {
      {"", 3, {{14, 14, 1}, {14, 18, 1}, {14, 19, 5}, {14, 23, 5}, {15, 4, 5}, {15, 5, 1}}, "5"},
      {"", 3, {{14, 19, 5}}, "30"},
      {"", 1, {{10, 20, 5}}, "30"},
      {"\r\n\r\n3\r\n15\r\n", 6, {{20, 8, 1}}, "5"},
      {"\r\n\r\n40\r\n15\r\n", 6, {{20, 8, 1}}, "40"},
      {"\r\n\r\n25\r\n10\r\n", 1, {{10, 18, 4}}, "25"},
      {"\r\n\r\n5\r\n10\r\n", 1, {{10, 18, 4}}, "20"},
      {"\r\n\r\n5\r\n5\r\n", 1, {{10, 18, 3}}, "10"},
      {"\r\n\r\n5\r\n7\r\n", 1, {{10, 18, 1}}, "14"},  // a remembered exposure no preset has selects none
      {"", 6, {{20, 12, 1}}, "5"},                      // noon belongs to neither switch
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.Settings << " month " << c.Month);
    std::filesystem::remove(File(kSettingsFile));
    Begin(c.Settings);
    for (auto [day, hour, preset] : c.Ticks) {
      SCOPED_TRACE(hour);
      Tick({2026, c.Month, day, hour, 0, 0});
      EXPECT_EQ(Core->View().Preset, preset);
    }
    EXPECT_EQ(Core->View().IntervalText, c.Interval);
  }
  std::string log = ReadFile(File(kLogFile));
  for (const char* line : {"switch: night preset 3\n", "switch: night preset 2\n", "switch: night preset none\n",
                           "switch: day\n"})
    EXPECT_NE(log.find(line), log.npos) << line;
}

TEST_F(StationCoreTest, WithAPlaceTheSunSwitchesAndTheFirstTickTakesTheModeOfItsMoment) {
  struct Case {
    GeoPlace Place;
    double NightAltitude;
    std::vector<std::pair<int64_t, int>> Ticks;  // UTC and the preset switched to, 0 for none
  };
  const GeoPlace budapest{47.5, 19.05}, north{70, 19};  // 2026-12-09: -6 crossed at 05:43:46 and 15:28:17 UTC
  const Case cases[] = {
      {budapest, -6, {{1796785200, 5}, {1796794980, 0}, {1796795100, 1}, {1796817600, 0}, {1796830080, 0},
                      {1796830140, 5}, {1796857200, 0}}},  // 03:00 05:43 05:45 12:00 15:28 15:29 23:00
      {budapest, -6, {{1796794980, 5}}}, {budapest, -6, {{1796817600, 1}}}, {budapest, -6, {{1796857200, 5}}},
      {budapest, 10, {{1796799600, 5}, {1796810400, 1}}},  // 07:00 and 10:00 UTC
      {north, -6, {{1782000000, 1}, {1782043200, 0}}},     // 2026-06-21 midnight and noon: polar day
      {north, 0, {{1797811200, 5}, {1797849840, 0}}},      // 2026-12-21 midnight and noon: polar night
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Place.Latitude << " at " << c.NightAltitude << " from " << c.Ticks[0].first);
    Begin("", {.Location = c.Place, .NightAltitude = c.NightAltitude});
    Core->Start(Input);
    for (auto [utc, preset] : c.Ticks) {
      SCOPED_TRACE(utc);
      const int before = Core->View().Preset;
      const size_t sends = Sends();
      Tick({2026, 3, 14, 12, 0, 0, utc});  // the local hour plays no part
      EXPECT_EQ(Core->View().Preset, preset ? preset : before);
      EXPECT_EQ(Sends() > sends, preset != 0);
    }
  }
  // The unattended start's preset: at 03:00 and 12:00 UTC, whatever the hour says.
  for (auto [utc, hour, preset] : {std::tuple{1796785200, 12, 5}, std::tuple{1796817600, 3, 1}}) {
    Begin("", {.Location = budapest});
    Clock.Time = {2026, 12, 9, hour, 0, 0, utc};
    Core->StartUnattended(Input);
    EXPECT_EQ(Core->View().Preset, preset);
  }
}

// After three ticks without a picture the camera is attached anew and gets
// the settings of the preset the window shows.
TEST_F(StationCoreTest, TheReconnectionSendsTheSelectedNightPreset) {
  Begin();
  Select(5);
  const TCameraSettings night = Camera->GetCameraSettings();
  ASSERT_EQ(night.ShootingMode, kShootingModeShutterPriority);
  Library.FailNext("CDRelease", 3, 0x81);
  for (int tick = 0; tick < 3; ++tick) EXPECT_THROW(Tick(Clock.Time), Exception);
  Sink.Statuses.clear();
  Tick(Clock.Time);
  EXPECT_EQ(Sink.Statuses.front(), kReconnecting);
  EXPECT_EQ(Core->View().Preset, 5);
  const TCameraSettings sent = Camera->GetCameraSettings();
  EXPECT_EQ(sent.ShootingMode, night.ShootingMode);
  EXPECT_EQ(sent.Tv, night.Tv);
  EXPECT_EQ(sent.ISO, night.ISO);
}

TEST(SettingsRecordTest, TheChoiceSetsItsFieldsAndKeepsTheCamerasOthers) {
  TCameraSettings read{};
  read.ShootingMode = 9;
  read.ISO = 4;
  read.Av = 30;
  read.Tv = 40;
  read.Quality = 5;
  read.ImageSize = 7;
  read.WhiteBalance = 6;
  struct Case {
    const char* Name;
    int Preset, ImageSize, Iso, Aperture, Exposure;
    bool Flash;
    int Quality;
    uint8_t ShootingMode, ISO, Av, Tv, FlashMode, QualitySent, ImageSizeSent;
  };
  const Case cases[] = {
      {"day", 1, 3, 2, 4, 4, false, 2, 0, 1, 0, 0, 1, 2, 5},
      {"dusk ignores the ISO list", 2, 0, 3, 4, 2, true, 3, 2, 1, 19, 14, 3, 3, 1},
      {"dusk with Auto lists", 2, 5, 3, 0, 0, false, 1, 2, 1, 30, 40, 1, 1, 3},
      {"night", 4, 1, 4, 3, 4, false, 2, 17, 5, 0, 7, 1, 2, 2},
      {"night with Auto exposure", 5, 1, 1, 3, 0, false, 2, 17, 2, 0, 40, 1, 2, 2},
      {"no selections", 0, -1, -1, -1, -1, false, 0, 9, 4, 30, 40, 1, 5, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    StationInput chosen{.Preset = c.Preset, .ImageSizeItem = c.ImageSize, .IsoItem = c.Iso,
                        .ApertureItem = c.Aperture, .ExposureItem = c.Exposure, .Flash = c.Flash,
                        .Quality = c.Quality};
    TCameraSettings sent = BuildSettings(read, chosen, 0);
    EXPECT_EQ(std::tie(sent.ShootingMode, sent.ISO, sent.Av, sent.Tv, sent.FlashMode, sent.Quality, sent.ImageSize),
              std::tie(c.ShootingMode, c.ISO, c.Av, c.Tv, c.FlashMode, c.QualitySent, c.ImageSizeSent));
    EXPECT_EQ(sent.ColorSaturation, 3);
    EXPECT_EQ(sent.WhiteBalance, 6);
  }
}

// --- Pictures ---

TEST_F(StationCoreTest, EachPictureGetsTheNextNumberNeverCut) {
  const std::pair<int64_t, const char*> cases[] = {
      {1, "000001.jpg"}, {999999, "999999.jpg"}, {1000000, "1000000.jpg"}, {4294967296, "4294967296.jpg"}};
  for (const auto& [counter, name] : cases) {
    SCOPED_TRACE(name);
    std::filesystem::create_directories(File("06-21-26"));
    WriteFile(File(kPictureNumberFile), std::to_string(counter) + "\r\n");
    Begin();
    Sink.Statuses.clear();
    Core->TestPicture(Input);
    EXPECT_EQ(Sink.Statuses, (std::vector<std::string>{std::string("Kép mentése ") + name,
                                                        std::string("Kép beolvasása -") + name}));
    EXPECT_GT(std::filesystem::file_size(Picture(name)), 1000u);
    EXPECT_EQ(ReadFile(File(kPictureNumberFile)), std::to_string(counter + 1) + "\r\n");
    EXPECT_EQ(Core->View().NextPicture, counter + 1);
  }
}

TEST_F(StationCoreTest, AFailureAfterThePictureWasSavedGivesTheNextPictureANewNumber) {
  Begin();
  Sink.FailPreview = true;
  EXPECT_THROW(Core->TestPicture(Input), EInOutError);
  std::string first = ReadFile(Picture("000001.jpg"));
  EXPECT_FALSE(first.empty());
  Sink.FailPreview = false;
  Core->TestPicture(Input);
  EXPECT_EQ(ReadFile(Picture("000001.jpg")), first);
  EXPECT_TRUE(std::filesystem::exists(Picture("000002.jpg")));
  EXPECT_EQ(Core->View().NextPicture, 3);
}

TEST_F(StationCoreTest, AFailedTransferThatSavedNothingKeepsTheNumber) {
  Begin();
  Library.FailNext("CDGetReleasedData", 1, 0x28);
  EXPECT_THROW(Core->TestPicture(Input), Exception);
  EXPECT_EQ(Core->View().NextPicture, 1);
  EXPECT_TRUE(std::filesystem::is_empty(Core->View().PictureFolder));
}

// Only ticks the camera failed count towards attaching it anew; a full disk
// is no reason to.
TEST_F(StationCoreTest, OnlyTicksTheCameraFailedLeadToReconnecting) {
  const std::tuple<const char*, uint32_t, bool> cases[] = {{"disk full", 0x2A, false}, {"camera busy", 0x81, true}};
  for (const auto& [name, status, reconnect] : cases) {
    SCOPED_TRACE(name);
    Begin();
    Library.FailNext("CDGetReleasedData", 3, status);
    for (int tick = 0; tick < 3; ++tick) EXPECT_THROW(Tick(Clock.Time), Exception);
    Sink.Statuses.clear();
    Tick(Clock.Time);
    EXPECT_EQ(Sink.Statuses.front() == kReconnecting, reconnect);
  }
}

TEST_F(StationCoreTest, AHeldCameraRefusingRemoteModeIsShownAsItIs) {
  Begin();
  Library.FailNext("CDRelease", 3, 0x81);
  for (int tick = 0; tick < 3; ++tick) EXPECT_THROW(Tick(Clock.Time), Exception);
  Library.FailNext("CDEnterReleaseControl", 1, 0x81);
  Sink.Statuses.clear();
  EXPECT_THROW(Tick(Clock.Time), Exception);
  EXPECT_EQ(Sink.Statuses, std::vector<std::string>{kReconnecting});
}

TEST_F(StationCoreTest, AnAccountTheSettingsFileCantHoldNeverStopsStart) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"anna", "pw", true}, {"\xd0\xb6" "enya", "pw", false}, {"", "ok\xe2\x9c\x93", false}};
  Begin();
  for (const auto& [user, password, stored] : cases) {
    SCOPED_TRACE(user);
    std::filesystem::remove(File(kSettingsFile));
    Core->Stop(Input);
    Input.Account = {user, password, false};
    std::string problem = Core->Start(Input);
    EXPECT_TRUE(Core->View().Running);
    EXPECT_EQ(std::filesystem::exists(File(kSettingsFile)), stored);
    EXPECT_EQ(problem.empty(), stored || !*user);  // said when a whole account is not stored
  }
}

TEST_F(StationCoreTest, AnUnattendedStartTakesThePresetTheHourCallsFor) {
  // In March night lasts from 19 to 5; the remembered night preset is 3.
  const std::pair<int, int> cases[] = {{2, 5}, {4, 5}, {5, 1}, {14, 1}, {18, 1}, {19, 5}, {23, 5}};
  Begin();
  for (const auto& [hour, preset] : cases) {
    SCOPED_TRACE(hour);
    Clock.Time = {2026, 3, 14, hour, 30, 0};
    Select(kDayPreset);
    Core->StartUnattended(Input);
    EXPECT_EQ(Core->View().Preset, preset);
    EXPECT_TRUE(Core->View().Running);
  }
}

// --- Exposure steered by the pictures ---

// After each picture of the running cycle its brightness sets the next
// picture's exposure; the dead band, a picture that can't be measured and
// the option off change nothing.
TEST_F(StationCoreTest, EachPicturesBrightnessSetsTheNextOnesExposure) {
  struct Case {
    const char* Name;
    std::optional<double> Target;  // the option
    int Preset;
    std::optional<double> Brightness;
    uint8_t Mode;
    std::optional<uint8_t> Tv;  // none where the camera meters
    uint8_t Iso, Compensation;  // what the camera then holds
    const char* Logged;                   // the exposure line, "" for none
    ExposureListTexts Shown;
  };
  const Case cases[] = {
      {"dark night", 0.3, 5, 0.05, 17, 5, 4, 7, "15 s ISO 50 → 15 s ISO 200, mean 0.05", {"15 mp", "Auto", "200"}},
      {"bright night", 0.3, 5, 0.9, 17, 11, 2, 7, "15 s ISO 50 → 4 s ISO 50, mean 0.90", {"4 mp", "Auto", "50"}},
      {"dim day", 0.3, 1, 0.1, 1, std::nullopt, 1, 13, "auto ±0 EV → auto +2 EV, mean 0.10", {"Auto", "Auto", "Auto"}},
      {"within the band", 0.3, 5, 0.34, 17, 5, 2, 7, "", {}},
      {"not measured", 0.3, 5, std::nullopt, 17, 5, 2, 7, "", {}},
      {"the option off", std::nullopt, 5, 0.05, 17, 5, 2, 7, "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::filesystem::remove(File(kLogFile));
    Begin("", {.AutoExposure = c.Target});
    Select(c.Preset);
    Core->Start(Input);
    Follow();
    Shown = {};
    Sink.Brightness = c.Brightness;
    Tick(Clock.Time);
    const TCameraSettings held = Camera->GetCameraSettings();
    EXPECT_EQ(std::tuple(held.ShootingMode, c.Tv ? held.Tv : c.Tv, held.ISO, held.ExposureCompensation),
              std::tuple(c.Mode, c.Tv, c.Iso, c.Compensation));
    const std::string log = ReadFile(File(kLogFile));
    const size_t line = log.find(std::string("exposure: ") + c.Logged + (*c.Logged ? "\n" : ""));
    EXPECT_EQ(line != log.npos, *c.Logged != 0) << log;
    EXPECT_EQ(std::tie(Shown.Exposure, Shown.Aperture, Shown.Iso),
              std::tie(c.Shown.Exposure, c.Shown.Aperture, c.Shown.Iso));
  }
}

// A value the camera refuses leaves the last accepted one; the user's own
// correction pauses the steering until Start.
TEST_F(StationCoreTest, ARefusedValueAndTheUsersCorrectionKeepTheExposure) {
  Begin("", {.AutoExposure = 0.3});
  Select(5);
  Core->Start(Input);
  Sink.Brightness = 0.05;
  const std::pair<const char*, std::function<void()>> steps[] = {
      {"refused", [&] { Library.FailNext("CDSetRelCamSettingData", 99, 0x81); }},
      {"taken", [&] { Library.FailNext("CDSetRelCamSettingData", 0, 0); }},
      {"paused", [&] { Input.IsoItem = 1, Core->CorrectionChanged(Input); }},
      {"started again", [&] { Core->Start(Input); }},
  };
  const uint8_t isoAfter[] = {2, 4, 2, 4};  // ISO 50, then 200
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(steps[i].first);
    steps[i].second();
    Follow();
    Tick(Clock.Time);
    EXPECT_EQ(Camera->GetCameraSettings().ISO, isoAfter[i]);
  }
  const std::string log = ReadFile(File(kLogFile));
  for (const char* line : {"exposure: the camera refused 15 s ISO 200 (it holds 15 s ISO 50), it keeps 15 s ISO 50\n",
                           "exposure: steering paused by the user's choice until the next switch or Start\n"})
    EXPECT_NE(log.find(line), log.npos) << line;
}

// --- Upload ---

class UploadDriverTest : public StationCoreTest {
protected:
  void Upload(ScriptedServer& server, const StationConfig& config = {}) {
    WriteFile(File("000007.jpg"), "picture bytes");
    StationConfig to = config;
    std::tie(to.UploadHost, to.UploadPort) = std::pair(server.host(), server.port());
    TObturo camera;
    Station core(camera, Ftp, Folder.path(), to);
    Sink.Uploads.clear();
    core.Upload(File("000007.jpg"), "000007.jpg", {"u", "p", false}, Sink);
  }
  static std::vector<Step> Store(const std::vector<Step>& ending, const std::string& name = "koftplive.jpg") {
    return StoreSession("u", "p", ending, name);
  }
};

TEST_F(UploadDriverTest, AStoreThatSucceedsDeletesTheLocalFile) {
  ScriptedServer server(Store({Send("226 done\r\n"), Expect("QUIT"), Send("221 bye\r\n")}));
  Upload(server);
  EXPECT_EQ(server.finish(), "");
  EXPECT_EQ(Sink.Uploads.back(), "Feltöltés sikeres");
  EXPECT_FALSE(std::filesystem::exists(File("000007.jpg")));
}

// The client raises on a store the server reports as failed; the station
// then keeps its picture, whatever reply follows.
TEST_F(UploadDriverTest, AStoreTheServerReportsAsFailedKeepsTheFile) {
  const std::pair<const char*, std::vector<Step>> cases[] = {
      {"426 then 226", {Send("426 aborted\r\n"), Send("226 done\r\n")}},
      {"426 alone", {Send("426 aborted\r\n")}},
      {"450", {Send("450 busy\r\n")}},
  };
  for (const auto& [name, ending] : cases) {
    SCOPED_TRACE(name);
    ScriptedServer server(Store(ending));
    Upload(server);
    server.finish();
    EXPECT_EQ(Sink.Uploads.back(), "Kapcsolati hiba!!");
    EXPECT_EQ(ReadFile(File("000007.jpg")), "picture bytes");
  }
}

// The session cut before each step of the server's (the greeting, each
// reply, the data connection, the final reply): the upload fails, the
// picture stays, and the next session stores it.
TEST_F(UploadDriverTest, ASessionCutAtAnyStepKeepsThePictureForTheNext) {
  const std::vector<Step> whole = Store({Send("226 done\r\n"), Expect("QUIT"), Send("221 bye\r\n")});
  // Bounds the wait for a data connection that never comes.
  const StationConfig config{.UploadTimeoutMs = 1000};
  for (size_t cut = 0; cut + 2 < whole.size(); ++cut) {
    if (whole[cut].kind == Step::Kind::Expect || whole[cut].kind == Step::Kind::ExpectPort) continue;
    SCOPED_TRACE(::testing::Message() << "cut before step " << cut);
    std::vector<Step> script(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cut));
    script.push_back(NextConnection());
    script.insert(script.end(), whole.begin(), whole.end());
    ScriptedServer server(script);
    Upload(server, config);
    EXPECT_EQ(Sink.Uploads.back(), kUploadFailed);
    EXPECT_EQ(ReadFile(File("000007.jpg")), "picture bytes");
    Upload(server, config);
    EXPECT_EQ(server.finish(), "");
    EXPECT_EQ(Sink.Uploads.back(), "Feltöltés sikeres");
    EXPECT_EQ(server.data().back(), "picture bytes");
  }
}

// Stored as koftplive.jpg.part, then renamed over the live picture; a server
// that won't rename over a file has the live picture deleted first. Only a
// picture that became the live one is a success.
TEST_F(UploadDriverTest, AtomicPublishRenamesOverTheLivePictureOrDeletesItFirst) {
  const Step rnfr = Expect("RNFR koftplive.jpg.part"), rnto = Expect("RNTO koftplive.jpg");
  const Step quit = Expect("QUIT");
  struct Case {
    const char* Name;
    std::vector<Step> Ending;
    const char* Status;
  };
  const Case cases[] = {
      {"renamed over", {rnfr, Send("350 go on\r\n"), rnto, Send("250 renamed\r\n"), quit}, "Feltöltés sikeres"},
      {"refused, deleted first",
       {rnfr, Send("350 go on\r\n"), rnto, Send("553 exists\r\n"), Expect("DELE koftplive.jpg"),
        Send("250 deleted\r\n"), rnfr, Send("350 go on\r\n"), rnto, Send("250 renamed\r\n"), quit},
       "Feltöltés sikeres"},
      {"refused, not deleted",
       {rnfr, Send("350 go on\r\n"), rnto, Send("550 exists\r\n"), Expect("DELE koftplive.jpg"),
        Send("550 no\r\n")},
       kUploadFailed},
      {"refused for now: the live picture stays", {rnfr, Send("350 go on\r\n"), rnto, Send("450 busy\r\n")},
       kUploadFailed},
      {"stored picture not found: the live picture stays", {rnfr, Send("550 no such file\r\n")}, kUploadFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<Step> ending = {Send("226 done\r\n")};
    ending.insert(ending.end(), c.Ending.begin(), c.Ending.end());
    ScriptedServer server(Store(ending, "koftplive.jpg.part"));
    Upload(server, {.AtomicPublish = true});
    EXPECT_EQ(server.finish(), "");
    EXPECT_EQ(Sink.Uploads.back(), c.Status);
    EXPECT_EQ(std::filesystem::exists(File("000007.jpg")), c.Status == kUploadFailed);
  }
}

TEST(UploadProgressTest, IsAPercentageOfTheFileWithoutOverflow) {
  const std::tuple<int64_t, int64_t, std::optional<int>> cases[] = {
      {30'000'000, 60'000'000, 50},  // bytes * 100 would overflow 32 bits
      {1, 200, 0},                   // 0.5 rounds to even
      {3, 200, 2},                   // 1.5 rounds to even
      {10, 0, std::nullopt},         // the size is not known yet
  };
  for (const auto& [bytes, size, percent] : cases) EXPECT_EQ(PercentOf(bytes, size), percent) << bytes;
}

}  // namespace
}  // namespace korv::test
