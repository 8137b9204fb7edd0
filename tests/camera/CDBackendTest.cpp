// The component and the CD backend through the real loader and the simulated
// CDSDK.DLL, steered by its control entries (scenario, failures, call log).
#include <gtest/gtest.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <vector>

#include "camera/Obturo.h"
#include "camera/sdk/CDAPI.h"
#include "camera/sdk/CamErrors.h"
#include "camera/sdk/TCDSDK.h"
#include "runtime/Clock.h"
#include "runtime/ProgramDir.h"
#include "tests/camsim/CamSimControl.h"
#include "tests/camera/RaisedMessage.h"
#include "tests/support/TempDir.h"

namespace korv {
namespace {

// Width and height of a JPEG file, or {0, 0} when it does not decode.
std::pair<unsigned, unsigned> DecodeJpeg(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return {0, 0};
  struct ErrorManager {
    jpeg_error_mgr Base;
    std::jmp_buf Jump;
  } errors;
  jpeg_decompress_struct info;
  info.err = jpeg_std_error(&errors.Base);
  errors.Base.error_exit = [](j_common_ptr common) { std::longjmp(reinterpret_cast<ErrorManager*>(common->err)->Jump, 1); };
  errors.Base.output_message = [](j_common_ptr) {};
  std::pair<unsigned, unsigned> size{0, 0};
  if (setjmp(errors.Jump) == 0) {
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    std::vector<JSAMPLE> row(info.output_width * info.output_components);
    while (info.output_scanline < info.output_height) {
      JSAMPROW rows[1] = {row.data()};
      jpeg_read_scanlines(&info, rows, 1);
    }
    jpeg_finish_decompress(&info);
    size = {info.output_width, info.output_height};
  }
  jpeg_destroy_decompress(&info);
  std::fclose(file);
  return size;
}

using test::MessageOf;

// Progress pauses are the library's pacing only; tests need not wait them out.
class NoPauseClock : public Clock {
public:
  LocalTime Now() override { return {}; }
  void Sleep(uint32_t) override {}
};

struct RemoteEvent {
  RemoteEventCallbackType Event;
  AdditionNotifyRemoteEventType Data;
};

class CDBackendTest : public ::testing::Test {
protected:
  void SetUp() override {
    previousClock = SetClock(&clock);
    LoadCDSDK();
    library.LoadScenario(std::string("camera CD\n") + test::FixedSky);
  }
  void TearDown() override {
    library.WaitIdle();
    SetClock(previousClock);
  }

  void Scenario(const std::string& text) { library.LoadScenario(text); }
  // The calls received, each as its entry name and up to `keepArgs` of its
  // arguments after the leading handle (pointers vary from run to run).
  std::vector<std::string> Calls(size_t keepArgs = 8) {
    std::vector<std::string> calls;
    for (const auto& call : library.Log()) {
      std::string text = call.Entry;
      for (size_t i = 1; i < call.Args.size() && i <= keepArgs; ++i) text += " " + std::to_string(call.Args[i]);
      calls.push_back(text);
    }
    return calls;
  }
  size_t CountCalls(const std::string& entry) { return library.Calls(entry).size(); }

  void Connect() {
    obturo.EnumerateCameras();
    obturo.Connect(CameraKindPowerShot, 0);
  }
  TRemoteCapabilities EnterRemote(bool probe, ReleaseModeType mode = ReleaseModeOnlyToPC,
                                  ReleaseDataKindType kind = ReleaseDataKindTakeOnlyPicture) {
    Connect();
    return obturo.EnterRemoteMode(mode, kind, probe);
  }

  test::SimulatedLibrary& library = test::SimulatedLibrary::CD();
  NoPauseClock clock;
  Clock* previousClock = nullptr;
  TObturo obturo;
};

TEST_F(CDBackendTest, ConnectReportsTheListedCamera) {
  Scenario(
      "camera CD\nmodel Canon PowerShot A80\nname A80 on USB\nowner Kovács Éva\npower 0x20000004\n"
      "camera CD\nmodel Canon PowerShot G3\n");
  const TCameraLists lists = obturo.EnumerateCameras();
  EXPECT_EQ(*lists.PowerShotNames, (std::vector<std::string>{"A80 on USB", "Canon PowerShot G3"}));
  EXPECT_TRUE(lists.EOSNames->empty());

  const ConnectInfoType info = obturo.Connect(CameraKindPowerShot, 0);
  EXPECT_EQ(info.Kind, CameraKindPowerShot);
  EXPECT_EQ(info.ModelName, "Canon PowerShot A80");
  EXPECT_EQ(info.CameraOwner, "Kovács Éva");
  EXPECT_EQ(info.BatteryKind, 2);
  EXPECT_EQ(info.BatteryLevel, 2);
  EXPECT_EQ(MessageOf([&] { obturo.Connect(CameraKindPowerShot, 1); }), "Camera already connected.");
}

TEST_F(CDBackendTest, ConnectRefusesNumbersOutsideTheList) {
  Scenario("camera CD\ncamera CD\n");
  obturo.EnumerateCameras();
  EXPECT_EQ(MessageOf([&] { obturo.Connect(CameraKindPowerShot, -1); }),
            "Not valid value in parameter ConnectToCamera when calling Connect. Value must be at least zero. "
            "Currently ConnectToCamera = -1");

  // Numbers past the CD list go to the PR backend; the CD backend's own
  // checks are reached directly.
  TCDSDK backend;
  ConnectInfoType info;
  EXPECT_EQ(MessageOf([&] { backend.Connect(3, TObturo::CameraEventCallback, 0, info); }),
            "Not valid value in parameter ConnectToCamera when calling Connect. There are only 2 PowerShot "
            "cameras connected. Currently is parameter ConnectToCamera = 3");
  CDDeviceList().clear();
  EXPECT_EQ(MessageOf([&] { backend.Connect(0, TObturo::CameraEventCallback, 0, info); }),
            "There seems to be no connected PowerShot cameras connected. Have you called the EnumerateCameras "
            "function before calling Connect?");
  EXPECT_EQ(MessageOf([&] { obturo.Connect(CameraKindPowerShot, 0); }),
            "There seems to be no connected PowerShot cameras (newer than S80) connected. Have you called the "
            "EnumerateCameras function before calling Connect?");
  EXPECT_EQ(obturo.ConnectInfo().Kind, 0);
}

TEST_F(CDBackendTest, AFailedConnectLeavesNoCameraSoARetryWorks) {
  obturo.EnumerateCameras();
  library.FailNext("CDOpenSource", 1, 0x04000081);
  EXPECT_EQ(MessageOf([&] { obturo.Connect(CameraKindPowerShot, 0); }),
            "CDOpenSource errorcode 0x04000081, Device busy");
  EXPECT_EQ(obturo.ConnectInfo().Kind, 0);
  EXPECT_EQ(obturo.Connect(CameraKindPowerShot, 0).Kind, CameraKindPowerShot);
}

TEST_F(CDBackendTest, APropertyReadReleasesItsEnumerationAlsoWhenItFails) {
  obturo.EnumerateCameras();
  library.FailNext("CDGetDevicePropertyData", 1, 0x50);
  library.ClearLog();
  EXPECT_EQ(MessageOf([&] { obturo.Connect(CameraKindPowerShot, 0); }),
            "CDGetDevicePropertyData errorcode 0x00000050, Properties unavailable");
  EXPECT_EQ(CountCalls("CDEnumDevicePropertyReset"), 1u);
  EXPECT_EQ(CountCalls("CDEnumDevicePropertyRelease"), 1u);
  EXPECT_EQ(obturo.ConnectInfo().Kind, 0);
}

TEST_F(CDBackendTest, RemoteCapabilityFollowsFacultyBit30) {
  Scenario("camera CD\nfaculty 0x1F\n");
  Connect();
  EXPECT_FALSE(obturo.IsRemoteCapable());
  library.FailNext("CDGetReleaseControlFaculty", 1, 0x02);
  EXPECT_TRUE(obturo.IsRemoteCapable()) << "a failing query counts as capable";
}

TEST_F(CDBackendTest, WithoutProbingOnlyTheFacultyFlagsAreSet) {
  Scenario("camera CD\nfaculty 0x4000000B\n");
  std::vector<int32_t> progress;
  obturo.OnRemoteProbeParamEvent = [&](int32_t percent) { progress.push_back(percent); };
  library.ClearLog();
  const TRemoteCapabilities caps = EnterRemote(false, ReleaseModeBothPCAndCamera, ReleaseDataKindTakeOnlyPicture);
  TRemoteCapabilities expected{};
  expected[0] = expected[1] = expected[3] = 1;
  EXPECT_EQ(caps, expected);
  EXPECT_TRUE(progress.empty());
  const auto calls = Calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "CDSelectReleaseDataKind 10"), calls.end());
}

TEST_F(CDBackendTest, ProbingNeedsTheSettingsFlag) {
  Scenario("camera CD\nfaculty 0x4000001D\n");
  const TRemoteCapabilities caps = EnterRemote(true);
  for (size_t i = 5; i < caps.size(); ++i) EXPECT_EQ(caps[i], 0) << i;
}

TEST_F(CDBackendTest, FullProbeMarksWhatTheCameraListsOrAccepts) {
  Scenario(
      "camera CD\nvalue ImageFormat 3:5\nvalue ShootingMode 1\nvalue Av 40\nvalue Tv 56\nvalue ExposureComp 27\n"
      "value WhiteBalance 4\nvalue AFDistance 2\nvalue FlashMode 3\nvalue FlashCompensation 21\n"
      "value MeteringMode 2\nvalue ISO 0x58\nvalue Contrast 1\nvalue ColorSaturation 0xFF\nvalue Sharpness 0\n"
      "value PhotoEffect 2\nvalue Beep 0\n");
  std::vector<int32_t> progress;
  obturo.OnRemoteProbeParamEvent = [&](int32_t percent) { progress.push_back(percent); };
  const TRemoteCapabilities caps = EnterRemote(true);

  EXPECT_EQ(progress, (std::vector<int32_t>{6, 18, 24, 29, 35, 41, 47, 53, 65, 71, 76, 82, 88, 94, 100}));
  // White balance is listed: codes 0-6, 8, 9 are ordinals 1-6, 8, 12, 13.
  const std::set<int> whiteBalance = {1, 2, 3, 4, 5, 6, 8, 12, 13};
  for (int ordinal = 0; ordinal <= 16; ++ordinal)
    EXPECT_EQ(caps[CapWhiteBalanceBase + ordinal], whiteBalance.count(ordinal)) << "white balance " << ordinal;
  // AF distance and photo effect are only accepted: found by trial writes.
  EXPECT_EQ(std::vector<uint8_t>(caps.begin() + CapAFDistanceBase, caps.begin() + CapAFDistanceBase + 5),
            (std::vector<uint8_t>{0, 1, 1, 1, 0}));
  EXPECT_EQ(std::vector<uint8_t>(caps.begin() + CapPhotoEffectBase, caps.begin() + CapPhotoEffectBase + 7),
            (std::vector<uint8_t>{0, 1, 0, 1, 1, 1, 0}));
  EXPECT_EQ(caps[CapQualityBase], 0);
  EXPECT_EQ(caps[CapQualityBase + 4], 1) << "quality code 5";
  EXPECT_EQ(caps[CapAvBase + 10], 1) << "f/2.8";
  EXPECT_EQ(caps[CapTvBase + 2], 1) << "30 s";
  EXPECT_EQ(caps[CapBeepBase], 0);

  TCameraSettings scenario;
  scenario.Quality = 3;
  scenario.ImageSize = 4;
  scenario.ShootingMode = 16;
  scenario.Av = 13;
  scenario.Tv = 17;
  scenario.ExposureCompensation = 8;
  scenario.WhiteBalance = 5;
  scenario.AFDistance = 3;
  scenario.FlashMode = 4;
  scenario.FlashCompensation = 6;
  scenario.MeteringMode = 3;
  scenario.ISO = 5;
  scenario.Contrast = 3;
  scenario.ColorSaturation = 1;
  scenario.Sharpness = 2;
  scenario.PhotoEffect = 4;
  scenario.Beep = 2;
  EXPECT_EQ(obturo.GetCameraSettings(), scenario) << "probing writes the settings back";
}

TEST_F(CDBackendTest, ASettingWhoseListFailsIsFoundByTrialWrites) {
  const TRemoteCapabilities listed = EnterRemote(true);
  library.Reset();
  TObturo second;
  second.EnumerateCameras();
  second.Connect(CameraKindPowerShot, 0);
  library.FailNext("CDEnumWBSettingReset", 1, 0xF0);
  library.ClearLog();
  const TRemoteCapabilities tried = second.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, true);
  EXPECT_EQ(CountCalls("CDSetWBSetting"), 16u + 1u) << "every ordinal, then the write-back";
  EXPECT_EQ(tried, listed);
}

TEST_F(CDBackendTest, AvAndTvStayEmptyWhenManualModeIsRefused) {
  Scenario("camera CD\nsetting ShootingMode list 0 1 2\nsetting Av accept 32 40\nsetting Tv accept 48 56\n");
  const TRemoteCapabilities caps = EnterRemote(true);
  EXPECT_EQ(caps[CapAvBase], 1);
  EXPECT_EQ(caps[CapTvBase], 1);
  for (int i = 1; i <= 40; ++i) EXPECT_EQ(caps[CapAvBase + i], 0) << i;
  for (int i = 1; i <= 59; ++i) EXPECT_EQ(caps[CapTvBase + i], 0) << i;
}

TEST_F(CDBackendTest, AvAndTvAreTriedInManualMode) {
  Scenario("camera CD\nsetting ShootingMode list 0 4\nsetting Av accept 32 40\nsetting Tv accept 48 56\n");
  const TRemoteCapabilities caps = EnterRemote(true);
  EXPECT_EQ(caps[CapAvBase], 0);
  EXPECT_EQ(caps[CapAvBase + 10], 1);
  EXPECT_EQ(caps[CapAvBase + 13], 1);
  EXPECT_EQ(caps[CapTvBase + 14], 1);
  EXPECT_EQ(caps[CapTvBase + 17], 1);
  EXPECT_EQ(std::count(caps.begin() + CapTvBase + 1, caps.begin() + CapTvBase + 60, 1), 2);
}

TEST_F(CDBackendTest, AllZeroSettingsMakeNoCall) {
  EnterRemote(false);
  library.ClearLog();
  obturo.SetCameraSettings({});
  EXPECT_TRUE(Calls().empty());
}

TEST_F(CDBackendTest, SettingsGoOutInOrderWithTheirCodes) {
  EnterRemote(false);
  TCameraSettings settings;
  settings.Quality = 4;
  settings.ImageSize = 3;
  settings.FlashMode = 3;
  settings.FlashCompensation = 7;
  settings.ShootingMode = 17;
  settings.MeteringMode = 2;
  settings.AFDistance = 2;
  settings.WhiteBalance = 13;
  settings.ColorTemperature = 5600;
  settings.Contrast = 1;
  settings.ColorSaturation = 3;
  settings.Sharpness = 2;
  settings.ISO = 4;
  settings.Av = 13;
  settings.Tv = 17;
  settings.ExposureCompensation = 7;
  settings.PhotoEffect = 3;
  settings.Beep = 2;
  library.ClearLog();
  obturo.SetCameraSettings(settings);
  EXPECT_EQ(Calls(2), (std::vector<std::string>{
                          "CDSetImageFormatAttribute 5 2",
                          "CDSetShootingMode 2",
                          "CDSetAvValue 40",
                          "CDSetTvValue 56",
                          "CDSetExposureComp 24",
                          "CDSetWBSetting 9",
                          "CDSetRelCamSettingData 4352 2",
                          "CDSetAFDistanceSetting 1",
                          "CDSetFlashSetting 2 255",
                          "CDSetFlashSetting 255 24",
                          "CDSetRelCamSettingData 134217732 1",
                          "CDSetRelCamSettingData 134217740 2",
                          "CDSetRelCamSettingData 134217736 1",
                          "CDSetRelCamSettingData 134217737 1",
                          "CDSetRelCamSettingData 134217738 1",
                          "CDSetRelCamSettingData 134220544 2",
                          "CDSetRelCamSettingData 134217730 1",
                      }));
  EXPECT_EQ(obturo.GetCameraSettings(), settings) << "the camera took every value";
}

TEST_F(CDBackendTest, ZoomMaximaComeInTheLibrarysOrder) {
  Scenario("camera CD\nzoom 3 12 4\n");
  EnterRemote(false);
  EXPECT_EQ(obturo.GetZoomInfo(), (TZoomInfo{3, 4, 12}));
  obturo.SetZoom(2);
  EXPECT_EQ(obturo.GetZoomInfo().Position, 2u);
  library.FailNext("CDSetZoomPos", 1, 0x86);
  EXPECT_EQ(MessageOf([&] { obturo.SetZoom(1); }), "CDSetZoomPos errorcode 0x00000086, Device invalid parameter");
}

class CDReleaseTest : public CDBackendTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CDReleaseTest, TheHandlerFetchesTheAnnouncedPicture) {
  Scenario(std::string(GetParam()) + test::FixedSky);
  test::TempDir dir;
  std::vector<RemoteEvent> events;
  std::vector<int32_t> taken, fetched;
  std::string fetchError;
  obturo.OnRemoteTakePictureEvent = [&](int32_t percent) { taken.push_back(percent); };
  obturo.OnRemoteGetPictureEvent = [&](int32_t percent) { fetched.push_back(percent); };
  obturo.OnRemoteEvent = [&](RemoteEventCallbackType event, AdditionNotifyRemoteEventType data) {
    events.push_back({event, data});
    if (event == RemoteEventCallbackReleaseComplete)
      fetchError = MessageOf([&] { obturo.GetReleasedPicture(dir.file("000001.jpg")); });
  };
  EnterRemote(false);
  TCameraSettings small;
  small.Quality = 2;
  small.ImageSize = 3;
  obturo.SetCameraSettings(small);

  EXPECT_EQ(obturo.TakePicture(), 1u);
  ASSERT_TRUE(library.WaitIdle());
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].Event, RemoteEventCallbackReleaseStart);
  EXPECT_EQ(events[1].Event, RemoteEventCallbackReleaseComplete);
  EXPECT_EQ(events[1].Data, (AdditionNotifyRemoteEventType{1, 0, 1}));
  EXPECT_EQ(fetchError, "<nothing raised>");
  EXPECT_FALSE(taken.empty());
  EXPECT_FALSE(fetched.empty());
  const auto [width, height] = DecodeJpeg(dir.file("000001.jpg"));
  EXPECT_GT(width, 0u);
  EXPECT_GT(height, 0u);

  // A larger image size gives a larger picture.
  TCameraSettings large;
  large.Quality = 2;
  large.ImageSize = 6;
  obturo.SetCameraSettings(large);
  obturo.TakePicture();
  ASSERT_TRUE(library.WaitIdle());
  EXPECT_GT(DecodeJpeg(dir.file("000001.jpg")).first, width);
}

// A handler's error inside the release travels back to the caller; raised on
// the library's own thread it is lost, not the program.
TEST_P(CDReleaseTest, AFailingHandlerFailsOnlyACallerItCanReach) {
  Scenario(std::string(GetParam()) + test::FixedSky);
  const bool fromThread = std::string(GetParam()).find("thread") != std::string::npos;
  obturo.OnRemoteEvent = [&](RemoteEventCallbackType event, AdditionNotifyRemoteEventType) {
    if (event == RemoteEventCallbackReleaseComplete) throw ECamException("handler failed");
  };
  EnterRemote(false);
  EXPECT_EQ(MessageOf([&] { obturo.TakePicture(); }), fromThread ? "<nothing raised>" : "handler failed");
  ASSERT_TRUE(library.WaitIdle());
  int events = 0;
  obturo.OnRemoteEvent = [&](RemoteEventCallbackType, AdditionNotifyRemoteEventType) { ++events; };
  EXPECT_EQ(obturo.TakePicture(), 1u);
  ASSERT_TRUE(library.WaitIdle());
  EXPECT_EQ(events, 2);
  library.RaiseReleaseEvent(34, 0, 7);  // unknown picture type, outside any operation
  EXPECT_TRUE(library.WaitIdle());
  EXPECT_EQ(events, 2);
}

INSTANTIATE_TEST_SUITE_P(EventDelivery, CDReleaseTest,
                         ::testing::Values("camera CD\nevents call\n", "camera CD\nevents thread\n"),
                         [](const auto& test) {
                           return std::string(test.param).find("thread") != std::string::npos ? "FromTheLibraryThread"
                                                                                               : "InsideTheCall";
                         });

TEST_F(CDBackendTest, CameraOnlyReleasesAreFetchedAndDiscarded) {
  std::vector<RemoteEvent> events;
  obturo.OnRemoteEvent = [&](RemoteEventCallbackType event, AdditionNotifyRemoteEventType data) {
    events.push_back({event, data});
  };
  EnterRemote(false, ReleaseModeOnlyToCamera, ReleaseDataKindTakeOnlyPicture);
  library.ClearLog();
  obturo.TakePicture();
  ASSERT_TRUE(library.WaitIdle());
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].Event, RemoteEventCallbackReleaseStart);
  EXPECT_EQ(CountCalls("CDGetReleasedData"), 1u);
  EXPECT_FALSE(std::ifstream(ProgramDir() + "/Temp.jpg").good());
}

TEST_F(CDBackendTest, CameraEventsReachOnEvent) {
  std::vector<EventCallbackType> events;
  obturo.OnEvent = [&](EventCallbackType event) { events.push_back(event); };
  Connect();
  library.RaiseCameraEvent(0x00020001, 0x10000004);
  library.ClearLog();
  library.RaiseCameraEvent(5, 0);
  library.WaitIdle();
  EXPECT_EQ(events, (std::vector<EventCallbackType>{{2, 2}}));
  EXPECT_GT(CountCalls("CDGetDevicePropertyData"), 0u) << "event 5 reads the text property";
}

TEST_F(CDBackendTest, ComponentsShareTheNameLists) {
  TObturo other;
  const TCameraLists mine = obturo.EnumerateCameras();
  const TCameraLists theirs = other.EnumerateCameras();
  EXPECT_EQ(mine.PowerShotNames, theirs.PowerShotNames);
  EXPECT_EQ(mine.EOSNames, theirs.EOSNames);
  Scenario("camera CD\nname first\ncamera CD\nname second\n");
  other.EnumerateCameras();
  EXPECT_EQ(*mine.PowerShotNames, (std::vector<std::string>{"first", "second"}));
}

// Starting is once per process, so this runs in a fresh process of its own.
TEST(ObturoStartTest, AFailedStartLeavesTheLibrariesToBeStartedAgain) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        auto& cd = test::SimulatedLibrary::CD();
        auto& pr = test::SimulatedLibrary::PR();
        cd.Reset();
        pr.Reset();
        pr.FailNext("PR_StartSDK", 1, 0x07);
        TObturo obturo;
        const bool failed = MessageOf([&] { obturo.EnumerateCameras(); }) == "PR_StartSDK errorcode 0x00000007, Not supported";
        const bool retried = MessageOf([&] { obturo.EnumerateCameras(); }) == "<nothing raised>";
        const bool once = MessageOf([&] { obturo.StartSDK(); }) == "<nothing raised>";
        std::exit(failed && retried && once && cd.Calls("CDStartSDK").size() == 2 &&
                          pr.Calls("PR_StartSDK").size() == 2
                      ? 0
                      : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace korv
