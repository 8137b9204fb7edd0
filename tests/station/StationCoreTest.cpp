// The station's rules without a window: the day/night switch, presets, the
// settings record, the picture sequence and the upload driver, against the
// simulated CD camera and a scripted FTP server.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <tuple>

#include "camera/Obturo.h"
#include "ftp/IdFTP.h"
#include "runtime/Exception.h"
#include "runtime/ScopeExit.h"
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
  void ShowPreview(const std::string& path) override {
    if (FailPreview) throw EInOutError("Cannot decode " + path);
  }
  void ShowUploadStatus(const std::string& text) override { Uploads.push_back(text); }
  void ShowConnected(bool) override {}
  void ShowProgress(int) override {}

  std::vector<std::string> Statuses, Uploads;
  bool FailPreview = false;
};

class StationCoreTest : public ::testing::Test {
protected:
  StationCoreTest() : Core(Camera, Ftp, Folder.path()) {}
  ~StationCoreTest() override { Camera.OnRemoteEvent = nullptr; }

  std::string File(const std::string& name) const { return Folder.file(name); }

  TempDir Folder;
  TObturo Camera;
  TIdFTP Ftp;
  Station Core;
};

TEST_F(StationCoreTest, SwitchRulesFollowMonthHourAndPreviousTick) {
  struct Case {
    int Month, Hour;
    uint16_t LastHour;
    int32_t BaseInterval;
    uint16_t NightExposure;
    TickPlan::Switch Kind;
    int Preset;
    int32_t Interval, Exposure, Iso;
  };
  using S = TickPlan::Switch;
  const Case cases[] = {
      {3, 14, 0, 5, 15, S::None, 0, 5, 0, 0},        // started in a March afternoon
      {3, 19, 18, 5, 15, S::Evening, 5, 30, 15, 50},
      {3, 19, 19, 5, 15, S::None, 0, 5, 0, 0},       // only the first tick past the hour
      {3, 5, 4, 5, 15, S::Morning, 1, 5, 0, 0},
      {1, 20, 0, 5, 15, S::Evening, 5, 30, 15, 50},  // started on a January evening
      {6, 8, 0, 5, 15, S::Morning, 1, 5, 0, 0},      // started on a June morning
      {6, 8, 0, 3, 15, S::Morning, 1, 5, 0, 0},      // the day interval is at least 5
      {6, 8, 0, 40, 15, S::Morning, 1, 40, 0, 0},
      {1, 18, 0, 25, 10, S::Evening, 4, 25, 10, 50},  // never below the day interval
      {1, 18, 0, 5, 10, S::Evening, 4, 20, 10, 50},
      {1, 18, 0, 5, 5, S::Evening, 3, 10, 5, 50},
      {1, 18, 0, 5, 7, S::Evening, 0, 14, 7, 50},    // a remembered exposure no preset has
      {6, 12, 0, 5, 15, S::None, 0, 5, 0, 0},        // noon belongs to neither switch
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "month " << c.Month << " hour " << c.Hour << " after " << c.LastHour);
    Core.State = StationState{};
    Core.State.last_hour = c.LastHour;
    Core.State.base_interval = Core.State.interval = c.BaseInterval;
    Core.State.night_exposure = c.NightExposure;
    TickPlan plan = Core.BeginTick({2026, c.Month, 14, c.Hour, 0, 0});
    EXPECT_EQ(plan.Kind, c.Kind);
    EXPECT_EQ(plan.Preset, c.Preset);
    if (c.Kind != S::None) {
      EXPECT_EQ(Core.State.interval, c.Interval);
      EXPECT_EQ(Core.State.exposure_s, c.Exposure);
      EXPECT_EQ(Core.State.iso, c.Iso);
      EXPECT_EQ(Core.State.aperture, 0);
      EXPECT_EQ(plan.Lists.Iso, c.Kind == S::Evening);
      EXPECT_EQ(plan.Lists.Exposure, c.Kind == S::Evening);
      EXPECT_FALSE(plan.Lists.Aperture);
    }
    EXPECT_EQ(Core.State.last_hour, c.LastHour);  // until the tick's switch is done
    EXPECT_EQ(Core.EndTick(plan), "Kép készítése");
    EXPECT_EQ(Core.State.last_hour, c.Hour);
  }
  EXPECT_EQ(Core.State.evening_hour, 22);
  EXPECT_EQ(Core.State.morning_hour, 4);
}

TEST_F(StationCoreTest, PresetsSetTheirValuesAndNightPresetsRememberTheirExposure) {
  struct Case {
    int Button;
    int32_t BaseInterval, Interval, Exposure, Iso, Aperture;
    uint16_t NightExposure;
    const char* File;  // "" = not written
  };
  const Case cases[] = {
      {1, 5, 5, 0, 0, 0, 15, ""},     {2, 5, 7, 2, 50, 8, 15, ""},
      {3, 5, 10, 5, 50, 0, 5, "u\r\np\r\n5\r\n5\r\n"},  {4, 5, 20, 10, 50, 0, 10, "u\r\np\r\n5\r\n10\r\n"},
      {5, 5, 30, 15, 50, 0, 15, "u\r\np\r\n5\r\n15\r\n"}, {4, 25, 25, 10, 50, 0, 10, "u\r\np\r\n25\r\n10\r\n"},
      {1, 8, 8, 0, 0, 0, 15, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "button " << c.Button << " day interval " << c.BaseInterval);
    std::filesystem::remove(File(kSettingsFile));
    Core.State = StationState{};
    Core.State.ftp_user = "u";
    Core.State.ftp_password = "p";
    Core.State.base_interval = c.BaseInterval;
    Core.ApplyPreset(c.Button);
    EXPECT_EQ(Core.State.interval, c.Interval);
    EXPECT_EQ(Core.State.exposure_s, c.Exposure);
    EXPECT_EQ(Core.State.iso, c.Iso);
    EXPECT_EQ(Core.State.aperture, c.Aperture);
    EXPECT_EQ(Core.State.night_exposure, c.NightExposure);
    EXPECT_EQ(ReadFile(File(kSettingsFile)), c.File);
    ShownValues shown = Core.Shown();
    EXPECT_EQ(shown.Interval, c.Interval);
    EXPECT_EQ(shown.ExposureItem, ExposureItemOf(c.Exposure));
  }
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
    CameraChoice Choice;
    uint8_t ShootingMode, ISO, Av, Tv, Flash, Quality, ImageSize;
  };
  const Case cases[] = {
      {"day", {3, 1, 2, 4, 4, false, 2, true}, 0, 1, 0, 0, 1, 2, 5},
      {"dusk ignores the ISO list", {0, 2, 3, 4, 2, true, 3, true}, 2, 1, 19, 14, 3, 3, 1},
      {"dusk with Auto lists", {5, 2, 3, 0, 0, false, 1, true}, 2, 1, 30, 40, 1, 1, 3},
      {"night", {1, 4, 4, 3, 4, false, 2, true}, 17, 5, 0, 7, 1, 2, 2},
      {"night with Auto exposure", {1, 5, 1, 3, 0, false, 2, true}, 17, 2, 0, 40, 1, 2, 2},
      {"no selections", {-1, 0, -1, -1, -1, false, 0, true}, 9, 4, 30, 40, 1, 5, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TCameraSettings sent = BuildSettings(read, c.Choice, 0);
    EXPECT_EQ(sent.ShootingMode, c.ShootingMode);
    EXPECT_EQ(sent.ISO, c.ISO);
    EXPECT_EQ(sent.Av, c.Av);
    EXPECT_EQ(sent.Tv, c.Tv);
    EXPECT_EQ(sent.FlashMode, c.Flash);
    EXPECT_EQ(sent.Quality, c.Quality);
    EXPECT_EQ(sent.ImageSize, c.ImageSize);
    EXPECT_EQ(sent.ColorSaturation, 3);
    EXPECT_EQ(sent.WhiteBalance, 6);
  }
}

TEST_F(StationCoreTest, IntervalLineOfTheSettingsFileFallsBackToFive) {
  struct Case {
    const char* File;
    int32_t Interval;
  };
  const Case cases[] = {{"u\r\np\r\n12\r\n10\r\n", 12}, {"u\r\np\r\n200\r\n10\r\n", 200}, {"u\r\np\r\n", 5},
                        {"u\r\np\r\n\r\n10\r\n", 5},     {"u\r\np\r\nabc\r\n10\r\n", 5},  {"u\r\np\r\n0\r\n", 5},
                        {"u\r\np\r\n-3\r\n", 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.File);
    WriteFile(File(kSettingsFile), c.File);
    Core.State = StationState{};
    auto lines = Core.LoadSettings();
    ASSERT_TRUE(lines);
    EXPECT_EQ(Core.State.interval, c.Interval);
    EXPECT_EQ(Core.State.base_interval, c.Interval);
    EXPECT_EQ(lines->Interval, std::to_string(c.Interval));
  }
}

// --- Pictures, through the simulated CD camera ---

class PictureSequenceTest : public StationCoreTest {
protected:
  PictureSequenceTest() : Library(SimulatedLibrary::CD()) {
    Library.Reset();
    Library.LoadScenario("camera CD\ntime 12:00\ndate 06-21\nclouds 0\nvalue ImageFormat 2:2\n");
    Camera.OnRemoteEvent = [this](RemoteEventCallbackType event, AdditionNotifyRemoteEventType) {
      Core.HandlePicture(event, {false, {}}, Sink);
    };
    Core.OpenCamera();
    Core.EnterRemoteMode();
    Core.OpenPictureDir("06-21-26");
  }
  ~PictureSequenceTest() override {
    Camera.OnRemoteEvent = nullptr;
    Library.Reset();
  }
  std::string Picture(const std::string& name) const { return File(Core.State.picture_dir + "/" + name); }

  SimulatedLibrary& Library;
  RecordingSink Sink;
};

TEST_F(PictureSequenceTest, EachPictureGetsTheNextNumberNeverCut) {
  const std::pair<int64_t, const char*> cases[] = {
      {1, "000001.jpg"}, {999999, "999999.jpg"}, {1000000, "1000000.jpg"}, {4294967296, "4294967296.jpg"}};
  for (const auto& [counter, name] : cases) {
    SCOPED_TRACE(name);
    Core.State.picture_counter = counter;
    Sink.Statuses.clear();
    Core.TakePicture();
    EXPECT_EQ(Sink.Statuses, (std::vector<std::string>{std::string("Kép mentése ") + name,
                                                        std::string("Kép beolvasása -") + name}));
    EXPECT_GT(std::filesystem::file_size(Picture(name)), 1000u);
    EXPECT_EQ(ReadFile(File(kPictureNumberFile)), std::to_string(counter + 1) + "\r\n");
    EXPECT_EQ(Core.State.picture_counter, counter + 1);
  }
}

TEST_F(PictureSequenceTest, AFailureAfterThePictureWasSavedGivesTheNextPictureANewNumber) {
  Sink.FailPreview = true;
  EXPECT_THROW(Core.TakePicture(), EInOutError);
  std::string first = ReadFile(Picture("000001.jpg"));
  EXPECT_FALSE(first.empty());
  EXPECT_EQ(Core.State.picture_counter, 2);
  Sink.FailPreview = false;
  Core.TakePicture();
  EXPECT_EQ(ReadFile(Picture("000001.jpg")), first);
  EXPECT_TRUE(std::filesystem::exists(Picture("000002.jpg")));
  EXPECT_EQ(Core.State.picture_counter, 3);
}

TEST_F(PictureSequenceTest, AFailedTransferThatSavedNothingKeepsTheNumber) {
  Library.FailNext("CDGetReleasedData", 1, 0x28);
  EXPECT_THROW(Core.TakePicture(), Exception);
  EXPECT_EQ(Core.State.picture_counter, 1);
  EXPECT_TRUE(std::filesystem::is_empty(File(Core.State.picture_dir)));
}

// Only ticks the camera failed count towards attaching it anew; a full disk
// is no reason to.
TEST_F(PictureSequenceTest, OnlyTicksTheCameraFailedLeadToReconnecting) {
  const LocalTime noon{2026, 6, 21, 12, 0, 0};
  const std::tuple<const char*, uint32_t, bool> cases[] = {{"disk full", 0x2A, false}, {"camera busy", 0x81, true}};
  for (const auto& [name, status, reconnect] : cases) {
    SCOPED_TRACE(name);
    Core.State.failed_captures = 0;
    Core.State.picture_awaited = false;
    Library.FailNext("CDGetReleasedData", 3, status);
    for (int tick = 0; tick < 3; ++tick) {
      EXPECT_FALSE(Core.BeginTick(noon).Reconnect);
      EXPECT_THROW(Core.TakePicture(), Exception);
    }
    EXPECT_EQ(Core.BeginTick(noon).Reconnect, reconnect);
  }
}

TEST_F(PictureSequenceTest, AHeldCameraRefusingRemoteModeIsShownAsItIs) {
  Library.FailNext("CDEnterReleaseControl", 1, 0x81);
  EXPECT_THROW(Core.Reconnect({}, Sink), Exception);
  EXPECT_EQ(Sink.Statuses, std::vector<std::string>{kReconnecting});
}

TEST_F(PictureSequenceTest, AnAccountTheSettingsFileCantHoldNeverStopsStart) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"anna", "pw", true}, {"\xd0\xb6" "enya", "pw", false}, {"", "ok\xe2\x9c\x93", false}};
  for (const auto& [user, password, stored] : cases) {
    SCOPED_TRACE(user);
    std::filesystem::remove(File(kSettingsFile));
    Core.Stop();
    std::string problem = Core.Start({}, {user, password, false});
    EXPECT_TRUE(Core.View().Running);
    EXPECT_EQ(std::filesystem::exists(File(kSettingsFile)), stored);
    EXPECT_EQ(problem.empty(), stored || !*user);  // said when a whole account is not stored
  }
}

class HourClock final : public Clock {
public:
  LocalTime Time;
  LocalTime Now() override { return Time; }
  void Sleep(uint32_t) override {}
};

TEST_F(PictureSequenceTest, AnUnattendedStartTakesThePresetTheHourCallsFor) {
  HourClock clock;
  Clock* previous = SetClock(&clock);
  auto restore = ScopeExit([&] { SetClock(previous); });
  // In March night lasts from 19 to 5; the remembered night preset is 3.
  const std::pair<int, int> cases[] = {{2, 5}, {4, 5}, {5, 1}, {14, 1}, {18, 1}, {19, 5}, {23, 5}};
  for (const auto& [hour, preset] : cases) {
    SCOPED_TRACE(hour);
    clock.Time = {2026, 3, 14, hour, 30, 0};
    Core.PresetSelected(kDayPreset, {});
    Core.StartUnattended({}, {});
    EXPECT_EQ(Core.View().Preset, preset);
    EXPECT_TRUE(Core.View().Running);
  }
}

// The view the window paints, as the handlers leave it.
TEST_F(PictureSequenceTest, TheViewShowsWhatTheHandlersDecided) {
  Core.Connect(true);
  EXPECT_TRUE(Core.View().CameraControls);
  EXPECT_EQ(Core.View().ZoomEnabled, Core.State.zoom_max != 0);
  EXPECT_EQ(Core.View().ZoomMaxText, std::to_string(Core.State.zoom_max));
  struct Case {
    int Button;
    const char* Interval;
    int Exposure, Aperture, Iso;
    ListsEnabled Lists;
  };
  const Case cases[] = {{2, "7", 2, 4, 1, {false, true, true}},
                        {4, "20", 4, 0, 1, {true, false, true}},
                        {1, "5", 0, 0, 0, {false, false, false}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Button);
    Core.PresetSelected(c.Button, {});
    const StationView& view = Core.View();
    EXPECT_EQ(view.Preset, c.Button);
    EXPECT_EQ(view.IntervalText, c.Interval);
    EXPECT_EQ(view.ExposureItem, c.Exposure);
    EXPECT_EQ(view.ApertureItem, c.Aperture);
    EXPECT_EQ(view.IsoItem, c.Iso);
    EXPECT_EQ(std::tie(view.Lists.Iso, view.Lists.Aperture, view.Lists.Exposure),
              std::tie(c.Lists.Iso, c.Lists.Aperture, c.Lists.Exposure));
  }
  Core.IntervalTyped("45");
  EXPECT_EQ(Core.State.base_interval, 45);
  EXPECT_EQ(Core.View().TimerMs, 45000);
  Core.Start({}, {});
  EXPECT_FALSE(Core.View().ImageSizeEnabled);
  Core.Stop();
  EXPECT_TRUE(Core.View().ImageSizeEnabled);
}

// --- Upload ---

class UploadDriverTest : public StationCoreTest {
protected:
  UploadDriverTest() { WriteFile(File("000007.jpg"), "picture bytes"); }
  void Upload(ScriptedServer& server) {
    Core.State.upload_host = server.host();
    Core.State.upload_port = server.port();
    Sink.Uploads.clear();
    Core.Upload(File("000007.jpg"), "000007.jpg", {"u", "p", false}, Sink);
  }
  static std::vector<Step> Store(const std::vector<Step>& ending, const std::string& name = "koftplive.jpg") {
    return StoreSession("u", "p", ending, name);
  }

  RecordingSink Sink;
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
    WriteFile(File("000007.jpg"), "picture bytes");
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
  Core.State.upload_timeout_ms = 1000;  // bounds the wait for a data connection that never comes
  for (size_t cut = 0; cut + 2 < whole.size(); ++cut) {
    if (whole[cut].kind == Step::Kind::Expect || whole[cut].kind == Step::Kind::ExpectPort) continue;
    SCOPED_TRACE(::testing::Message() << "cut before step " << cut);
    std::vector<Step> script(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cut));
    script.push_back(NextConnection());
    script.insert(script.end(), whole.begin(), whole.end());
    WriteFile(File("000007.jpg"), "picture bytes");
    ScriptedServer server(script);
    Upload(server);
    EXPECT_EQ(Sink.Uploads.back(), kUploadFailed);
    EXPECT_EQ(ReadFile(File("000007.jpg")), "picture bytes");
    Upload(server);
    EXPECT_EQ(server.finish(), "");
    EXPECT_EQ(Sink.Uploads.back(), "Feltöltés sikeres");
    EXPECT_EQ(server.data().back(), "picture bytes");
  }
}

}  // namespace
}  // namespace korv::test

namespace korv::test {
namespace {

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
  Core.State.atomic_publish = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteFile(File("000007.jpg"), "picture bytes");
    std::vector<Step> ending = {Send("226 done\r\n")};
    ending.insert(ending.end(), c.Ending.begin(), c.Ending.end());
    ScriptedServer server(Store(ending, "koftplive.jpg.part"));
    Upload(server);
    EXPECT_EQ(server.finish(), "");
    EXPECT_EQ(Sink.Uploads.back(), c.Status);
    EXPECT_EQ(std::filesystem::exists(File("000007.jpg")), c.Status == kUploadFailed);
  }
}

}  // namespace
}  // namespace korv::test
