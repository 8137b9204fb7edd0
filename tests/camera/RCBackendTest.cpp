// The component and the EOS backend through the real loader and the
// simulated RCSDK.DLL, steered by its control entries.
#include <gtest/gtest.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <numeric>
#include <vector>

#include "camera/Obturo.h"
#include "camera/sdk/CamErrors.h"
#include "camera/sdk/CodeTables.h"
#include "camera/sdk/TRCSDK.h"
#include "runtime/Clock.h"
#include "runtime/ProgramDir.h"
#include "tests/camera/RaisedMessage.h"
#include "tests/camsim/CamSimControl.h"
#include "tests/support/TempDir.h"

namespace korv {
namespace {

using test::MessageOf;
using test::SimulatedLibrary;

// Pauses are recorded, never slept: the 5 s retry bound costs nothing.
class RecordingClock : public Clock {
public:
  LocalTime Now() override { return {2026, 6, 21, 12, 0, 0}; }
  void Sleep(uint32_t milliseconds) override { Sleeps.push_back(milliseconds); }
  uint32_t SleptInSteps(uint32_t step) const {
    return static_cast<uint32_t>(std::count(Sleeps.begin(), Sleeps.end(), step)) * step;
  }
  std::vector<uint32_t> Sleeps;
};

// Pixel size of a JPEG file; {0, 0} when libjpeg can't decode it whole.
std::pair<int, int> JpegSize(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return {0, 0};
  struct Errors : jpeg_error_mgr {
    std::jmp_buf Failed;
  } errors;
  jpeg_decompress_struct info{};
  info.err = jpeg_std_error(&errors);
  errors.error_exit = [](j_common_ptr common) { std::longjmp(static_cast<Errors*>(common->err)->Failed, 1); };
  std::pair<int, int> size{0, 0};
  std::vector<JSAMPLE> line;  // outside the jump's reach: its destructor must run
  jpeg_create_decompress(&info);
  if (setjmp(errors.Failed) == 0) {
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    line.resize(static_cast<size_t>(info.output_width) * info.output_components);
    for (JSAMPROW row = line.data(); info.output_scanline < info.output_height;) jpeg_read_scanlines(&info, &row, 1);
    jpeg_finish_decompress(&info);
    size = {static_cast<int>(info.output_width), static_cast<int>(info.output_height)};
  }
  jpeg_destroy_decompress(&info);
  std::fclose(file);
  return size;
}

struct RemoteEvent {
  RemoteEventCallbackType Event;
  AdditionNotifyRemoteEventType Data;
};

constexpr const char* ReleaseControlModel = "EOS 10D";
constexpr const char* CaptureSessionModel = "EOS 5D";

class RCBackendTest : public ::testing::Test {
protected:
  void SetUp() override {
    previousClock = SetClock(&clock);
    rc.Reset();
    obturo.OnRemoteEvent = [this](RemoteEventCallbackType event, AdditionNotifyRemoteEventType data) {
      remoteEvents.push_back({event, data});
      if (onRemoteEvent) onRemoteEvent(event);
    };
  }
  void TearDown() override {
    rc.WaitIdle();
    rc.Reset();
    SetClock(previousClock);
  }

  // One EOS camera of `model`, with further scenario lines.
  ConnectInfoType ConnectTo(const std::string& model, const std::string& lines = "") {
    rc.LoadScenario("camera RC\nmodel " + model + "\n" + test::FixedSky + lines);
    obturo.EnumerateCameras();
    return obturo.Connect(CameraKindEOS, 0);
  }
  TRemoteCapabilities EnterRemote(const std::string& model, ReleaseModeType mode = ReleaseModeOnlyToPC,
                                  ReleaseDataKindType kind = ReleaseDataKindTakeOnlyPicture,
                                  const std::string& lines = "") {
    ConnectTo(model, lines);
    return obturo.EnterRemoteMode(mode, kind, false);
  }
  size_t CallsOf(const std::string& entry) const { return rc.Calls(entry).size(); }
  // Index of the first logged call of `entry` matching `second` as its second
  // argument (any when omitted), or -1.
  ptrdiff_t LogIndex(const std::string& entry, std::optional<uint64_t> second = std::nullopt) const {
    const auto log = rc.Log();
    for (size_t i = 0; i < log.size(); ++i)
      if (log[i].Entry == entry && (!second || (log[i].Args.size() > 1 && log[i].Args[1] == *second)))
        return static_cast<ptrdiff_t>(i);
    return -1;
  }

  RecordingClock clock;
  Clock* previousClock = nullptr;
  SimulatedLibrary& rc = SimulatedLibrary::RC();
  TObturo obturo;
  std::vector<RemoteEvent> remoteEvents;
  std::function<void(RemoteEventCallbackType)> onRemoteEvent;
  test::TempDir temp;
};

// ---- Choosing release control or a capture session ---------------------------

TEST(RCReleaseControlModels, OnlyTheListedNamesExactly) {
  const std::pair<const char*, bool> cases[] = {
      {"EOS D30", true},         {"EOS D60", true},   {"EOS 10D", true},         {"EOS 300D", true},
      {"EOS Digital Rebel", true}, {"EOS-1D", true},  {"EOS-1Ds", true},         {"EOS-1D MarkII", true},
      {"EOS 10D ", false},       {"eos 10d", false},  {" EOS 10D", false},       {"EOS 5D", false},
      {"EOS-1D Mark II", false}, {"", false},         {"Canon EOS 10D", false},
  };
  for (const auto& [model, releaseControl] : cases)
    EXPECT_EQ(TRCSDK::UsesReleaseControl(model), releaseControl) << '"' << model << '"';
}

TEST_F(RCBackendTest, TheModelChoosesHowRemoteModeIsEntered) {
  EnterRemote(ReleaseControlModel);
  EXPECT_EQ(CallsOf("RCEnterReleaseControl"), 1u);
  EXPECT_EQ(CallsOf("RCStartCaptureSession"), 0u);
}

TEST_F(RCBackendTest, AnyOtherModelStartsACaptureSession) {
  EnterRemote(CaptureSessionModel);
  EXPECT_EQ(CallsOf("RCStartCaptureSession"), 1u);
  EXPECT_EQ(CallsOf("RCEnterReleaseControl"), 0u);
}

// ---- Connect -------------------------------------------------------------------

TEST_F(RCBackendTest, ConnectReportsModelOwnerAndPower) {
  const ConnectInfoType info = ConnectTo(ReleaseControlModel, "owner Roof\npower 0x30000006\n");
  EXPECT_EQ(info.Kind, CameraKindEOS);
  EXPECT_EQ(info.ModelName, ReleaseControlModel);
  EXPECT_EQ(info.CameraOwner, "Roof");
  EXPECT_EQ(info.BatteryKind, 3);
  EXPECT_EQ(info.BatteryLevel, 1);
  EXPECT_EQ(CallsOf("RCRegisterEventCallbackFunction"), 1u);
  // Both property enumerations are given back.
  EXPECT_EQ(CallsOf("RCEnumDevicePropertyReset"), 2u);
  EXPECT_EQ(CallsOf("RCEnumDevicePropertyRelease"), 2u);
}

TEST_F(RCBackendTest, UnknownPowerCodesGiveZero) {
  const ConnectInfoType info = ConnectTo(ReleaseControlModel, "power 0x60000005\n");
  EXPECT_EQ(info.BatteryKind, 0);
  EXPECT_EQ(info.BatteryLevel, 0);
}

TEST_F(RCBackendTest, AnOwnerLongerThanTheBufferIsCutTo32Characters) {
  const std::string owner(60, 'x');
  EXPECT_EQ(ConnectTo(ReleaseControlModel, "owner " + owner + "\n").CameraOwner, owner.substr(0, 32));
}

TEST_F(RCBackendTest, ConnectMessagesNameEOSCameras) {
  rc.LoadScenario("");
  obturo.EnumerateCameras();
  EXPECT_EQ(MessageOf([&] { obturo.Connect(CameraKindEOS, 0); }),
            "There seems to be no connected EOS cameras connected. Have you called the EnumerateCameras function "
            "before calling Connect?");
  rc.LoadScenario("camera RC\nmodel EOS 5D\n");
  obturo.EnumerateCameras();
  EXPECT_EQ(MessageOf([&] { obturo.Connect(CameraKindEOS, 1); }),
            "Not valid value in parameter ConnectToCamera when calling Connect. There are only 1 EOS cameras "
            "connected. Currently is parameter ConnectToCamera = 1");
  EXPECT_EQ(MessageOf([&] { obturo.Connect(CameraKindEOS, -1); }),
            "Not valid value in parameter ConnectToCamera when calling Connect. Value must be at least zero. "
            "Currently ConnectToCamera = -1");
  EXPECT_EQ(obturo.ConnectInfo().Kind, CameraKindNone);
}

TEST_F(RCBackendTest, APropertyTheCameraDoesNotListFailsAndIsReleased) {
  rc.LoadScenario("camera RC\nmodel EOS 5D\n");
  obturo.EnumerateCameras();
  rc.FailNext("RCEnumDevicePropertyNext", 1, 0xF0);
  EXPECT_EQ(MessageOf([&] { obturo.Connect(CameraKindEOS, 0); }).rfind("RCEnumDevicePropertyNext errorcode 0x000000F0", 0),
            0u);
  EXPECT_EQ(CallsOf("RCEnumDevicePropertyRelease"), 1u);
  EXPECT_EQ(obturo.ConnectInfo().Kind, CameraKindNone);
}

// ---- Remote mode -------------------------------------------------------------------

TEST_F(RCBackendTest, ReleaseDataKindFollowsModeAndKind) {
  struct Case {
    ReleaseModeType Mode;
    ReleaseDataKindType Kind;
    uint64_t Written;
  };
  const Case cases[] = {
      {ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyThumbnail, 1},
      {ReleaseModeOnlyToPC, ReleaseDataKingTakeBothThumbAndPic, 3},
      {ReleaseModeBothPCAndCamera, ReleaseDataKindTakeOnlyPicture, 10},
      {ReleaseModeBothPCAndCamera, ReleaseDataKingTakeBothThumbAndPic, 15},
      {ReleaseModeOnlyToCamera, ReleaseDataKindTakeOnlyThumbnail, 5},
      {ReleaseModeOnlyToCamera, ReleaseDataKindTakeOnlyPicture, 9},
      {ReleaseModeOnlyToCamera, ReleaseDataKingTakeBothThumbAndPic, 13},
  };
  for (const Case& c : cases) {
    TObturo component;
    rc.LoadScenario("camera RC\nmodel EOS 5D\n");
    component.EnumerateCameras();
    component.Connect(CameraKindEOS, 0);
    component.EnterRemoteMode(c.Mode, c.Kind, false);
    const auto calls = rc.Calls("RCSelectReleaseDataKind");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Args.at(1), c.Written) << int(c.Mode) << ' ' << int(c.Kind);
  }
}

TEST_F(RCBackendTest, CapabilityFlagsComeFromTheFacultyWordAndSettingsAlways) {
  const std::pair<const char*, std::array<uint8_t, 5>> cases[] = {
      {"0x0", {0, 1, 0, 0, 0}},
      {"0x1F", {1, 1, 1, 1, 1}},
      {"0x40000015", {1, 1, 1, 0, 1}},
  };
  for (const auto& [faculty, flags] : cases) {
    TObturo component;
    rc.LoadScenario(std::string("camera RC\nmodel EOS 5D\nfaculty ") + faculty + "\n");
    component.EnumerateCameras();
    component.Connect(CameraKindEOS, 0);
    const TRemoteCapabilities caps = component.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false);
    EXPECT_TRUE(std::equal(flags.begin(), flags.end(), caps.begin())) << faculty;
    EXPECT_TRUE(std::all_of(caps.begin() + 5, caps.end(), [](uint8_t flag) { return flag == 0; })) << faculty;
  }
}

// ---- The probe ---------------------------------------------------------------------------

TEST_F(RCBackendTest, AProbeReportsItsStepsAndLeavesTheCameraAsItWas) {
  // Av and AF distance can't be listed: they are found by trial writes,
  // which change the camera's settings (Av needs shooting mode 4 first).
  const std::string lines =
      "setting Av accept 24 32 40\nvalue Av 32\nsetting AFDistance accept 0 1 2\nvalue AFDistance 1\n"
      "value FlashCompensation 24\nvalue ShootingMode 0\n";
  ConnectTo(CaptureSessionModel, lines);
  std::vector<int32_t> progress;
  obturo.OnRemoteProbeParamEvent = [&](int32_t percent) { progress.push_back(percent); };
  const TRemoteCapabilities caps = obturo.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, true);

  EXPECT_EQ(progress, (std::vector<int32_t>{6, 18, 24, 29, 35, 41, 47, 53, 71, 76, 82, 88, 94, 100}));

  auto available = [&](CameraSetting setting) {
    std::vector<int> ordinals;
    const int base = CapabilityBase(setting);
    for (int ordinal = 0; ordinal <= OrdinalCount(setting); ++ordinal)
      if (caps[base + ordinal]) ordinals.push_back(ordinal);
    return ordinals;
  };
  EXPECT_EQ(available(CameraSetting::Av), (std::vector<int>{7, 10, 13}));
  EXPECT_EQ(available(CameraSetting::AFDistance), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(available(CameraSetting::MeteringMode), (std::vector<int>{1, 2, 3}));  // listed
  EXPECT_EQ(available(CameraSetting::Quality), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_GT(CallsOf("RCSetShootingMode"), 0u);

  const TCameraSettings after = obturo.GetCameraSettings();
  EXPECT_EQ(after.ShootingMode, 1);  // code 0, not the 4 the Av trials needed
  EXPECT_EQ(after.Av, 10);
  EXPECT_EQ(after.AFDistance, 2);
  EXPECT_EQ(after.FlashCompensation, 7);
  EXPECT_EQ(after.Quality, 2);
  EXPECT_EQ(after.ImageSize, 3);
}

TEST_F(RCBackendTest, ASettingNobodyAcceptsHasOnlyItsNoneFlag) {
  ConnectTo(CaptureSessionModel, "setting PhotoEffect accept\n");
  const TRemoteCapabilities caps = obturo.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, true);
  const int base = CapabilityBase(CameraSetting::PhotoEffect);
  EXPECT_EQ(caps[base], 1);
  EXPECT_TRUE(std::all_of(&caps[base + 1], &caps[base + 7], [](uint8_t flag) { return flag == 0; }));
}

TEST_F(RCBackendTest, AProbeThatFailsPutsBackWhatTheTrialsChangedAndReportsTheFailure) {
  // Image formats are tried one by one (the last accepted one stays), then
  // the shooting-mode list fails.
  ConnectTo(CaptureSessionModel, "setting ImageFormat accept 2:2 3:2\n");
  rc.FailNext("RCGetShootingModeCount", 1, 0x81);
  EXPECT_EQ(MessageOf([&] { obturo.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, true); })
                .rfind("RCGetShootingModeCount errorcode 0x00000081, ", 0),
            0u);
  const auto formats = rc.Calls("RCSetImageFormatAttribute");
  ASSERT_GT(formats.size(), 30u) << "the trials and the write-back";
  EXPECT_EQ(formats.back().Args, (std::vector<uint64_t>{formats.back().Args[0], 2, 2}));
}

// ---- Settings ---------------------------------------------------------------------

TEST_F(RCBackendTest, ColourTemperatureFollowsWhiteBalance13) {
  EnterRemote(CaptureSessionModel);
  rc.ClearLog();
  TCameraSettings settings;
  settings.WhiteBalance = WhiteBalanceColorTemperature;
  settings.ColorTemperature = 5200;
  obturo.SetCameraSettings(settings);
  const ptrdiff_t whiteBalance = LogIndex("RCSetWBSetting");
  const ptrdiff_t temperature = LogIndex("RCSetRelCamSettingData", SDKRelCamColorTemperature);
  ASSERT_GE(whiteBalance, 0);
  EXPECT_GT(temperature, whiteBalance);
  const TCameraSettings read = obturo.GetCameraSettings();
  EXPECT_EQ(read.WhiteBalance, WhiteBalanceColorTemperature);
  EXPECT_EQ(read.ColorTemperature, 5200u);

  rc.ClearLog();
  settings.WhiteBalance = 2;
  obturo.SetCameraSettings(settings);
  EXPECT_EQ(LogIndex("RCSetRelCamSettingData", SDKRelCamColorTemperature), -1);
  EXPECT_EQ(obturo.GetCameraSettings().ColorTemperature, 0u);
}

TEST_F(RCBackendTest, AnAllZeroRecordWritesNothing) {
  EnterRemote(CaptureSessionModel);
  rc.ClearLog();
  obturo.SetCameraSettings({});
  EXPECT_TRUE(rc.Log().empty());
}

TEST_F(RCBackendTest, AWriteThatKeepsFailingCostsFiveSecondsAndIsSkipped) {
  EnterRemote(CaptureSessionModel);
  rc.FailNext("RCSetAvValue", 1000, 0x81);
  TCameraSettings settings;
  settings.Av = 13;
  settings.Tv = 17;
  clock.Sleeps.clear();
  EXPECT_NO_THROW(obturo.SetCameraSettings(settings));
  EXPECT_EQ(CallsOf("RCSetAvValue"), 51u);
  EXPECT_EQ(clock.SleptInSteps(100), 5000u);
  EXPECT_EQ(clock.Sleeps.size(), 50u);
  EXPECT_EQ(CallsOf("RCSetTvValue"), 1u);  // the next write follows
  rc.FailNext("RCSetAvValue", 0, 0);
  EXPECT_EQ(obturo.GetCameraSettings().Tv, 17);
}

TEST_F(RCBackendTest, ABusyCameraTakesTheWriteOnARetry) {
  EnterRemote(CaptureSessionModel, ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, "busy 3\n");
  TCameraSettings settings;
  settings.Av = 13;
  clock.Sleeps.clear();
  obturo.SetCameraSettings(settings);
  EXPECT_EQ(CallsOf("RCSetAvValue"), 4u);
  EXPECT_EQ(clock.SleptInSteps(100), 300u);
  EXPECT_EQ(obturo.GetCameraSettings().Av, 13);
}

TEST_F(RCBackendTest, ZoomMaximaAndAnyPositionGoToTheCamera) {
  EnterRemote(CaptureSessionModel, ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, "zoom 3 10 7\n");
  EXPECT_EQ(obturo.GetZoomInfo(), (TZoomInfo{3, 7, 10}));
  obturo.SetZoom(5);
  EXPECT_EQ(obturo.GetZoomInfo().Position, 5u);
  // No check of our own: the camera's answer decides.
  EXPECT_EQ(MessageOf([&] { obturo.SetZoom(99); }).rfind("RCSetZoomPos errorcode 0x00000086", 0), 0u);
}

// ---- Pictures --------------------------------------------------------------------------

TEST_F(RCBackendTest, ReleaseControlAnnouncesThePictureAndTheHandlerFetchesIt) {
  EnterRemote(ReleaseControlModel);
  const std::string file = temp.file("000001.jpg");
  onRemoteEvent = [&](RemoteEventCallbackType event) {
    if (event == RemoteEventCallbackReleaseComplete) obturo.GetReleasedPicture(file);
  };
  EXPECT_EQ(obturo.TakePicture(), 1u);
  EXPECT_EQ(JpegSize(file), (std::pair{640, 480}));
  EXPECT_EQ(CallsOf("RCRelease"), 1u);
  EXPECT_EQ(CallsOf("RCGetReleasedData"), 1u);
}

TEST_F(RCBackendTest, ACaptureSessionQueuesEachPictureAndFetchesTheOldestFirst) {
  EnterRemote(CaptureSessionModel, ReleaseModeOnlyToPC, ReleaseDataKingTakeBothThumbAndPic);
  EXPECT_EQ(obturo.TakePicture(), 0u);
  EXPECT_EQ(CallsOf("RCCapture"), 1u);
  ASSERT_EQ(remoteEvents.size(), 2u);
  for (const auto& [event, data] : remoteEvents) {
    EXPECT_EQ(event, RemoteEventCallbackReleaseImageReady);
    EXPECT_EQ(data.DataKind, 2);
  }
  EXPECT_EQ(remoteEvents[0].Data.PictureType, 1);  // thumbnail, type 16
  EXPECT_EQ(remoteEvents[1].Data.PictureType, 2);  // picture, type 32

  obturo.GetReleasedPicture(temp.file("thumbnail.jpg"));
  obturo.GetReleasedPicture(temp.file("picture.jpg"));
  EXPECT_EQ(JpegSize(temp.file("thumbnail.jpg")), (std::pair{160, 120}));
  EXPECT_EQ(JpegSize(temp.file("picture.jpg")), (std::pair{640, 480}));

  // The queue is empty now: the list's index error, before any library call.
  rc.ClearLog();
  EXPECT_THROW(obturo.GetReleasedPicture(temp.file("none.jpg")), EListError);
  EXPECT_TRUE(rc.Log().empty());
}

TEST_F(RCBackendTest, AFailedFetchStillLeavesTheQueue) {
  EnterRemote(CaptureSessionModel);
  obturo.TakePicture();
  rc.FailNext("RCTakeCapturedImage", 1, 0x81);
  EXPECT_THROW(obturo.GetReleasedPicture(temp.file("a.jpg")), ECamException);
  EXPECT_THROW(obturo.GetReleasedPicture(temp.file("b.jpg")), EListError);
}

TEST_F(RCBackendTest, PicturesAnnouncedFromTheLibrarysThreadAreQueued) {
  EnterRemote(CaptureSessionModel, ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, "events thread\n");
  for (int i = 0; i < 3; ++i) obturo.TakePicture();
  ASSERT_TRUE(rc.WaitIdle());
  EXPECT_EQ(remoteEvents.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    const std::string file = temp.file("p" + std::to_string(i) + ".jpg");
    obturo.GetReleasedPicture(file);
    EXPECT_EQ(JpegSize(file), (std::pair{640, 480}));
  }
}

TEST_F(RCBackendTest, CameraEventsReachOnEventAndAnOwnerChangeIsReadBack) {
  std::vector<EventCallbackType> events;
  obturo.OnEvent = [&](EventCallbackType event) { events.push_back(event); };
  ConnectTo(CaptureSessionModel);
  rc.ClearLog();
  rc.RaiseCameraEvent(0x20001, 4);  // severity 2, power state: level 2
  rc.RaiseCameraEvent(5, 0);        // the owner text changed: read, not reported
  EXPECT_EQ(events, (std::vector<EventCallbackType>{{2, 2}}));
  EXPECT_EQ(CallsOf("RCGetDevicePropertyData"), 1u);
}

TEST_F(RCBackendTest, AnImageOfUnknownTypeIsQueuedAndThenRefused) {
  EnterRemote(CaptureSessionModel);
  // Between operations the component reports the refusal itself instead of
  // raising it into the library.
  rc.RaiseReleaseEvent(SDKReleaseEventImageReady, 4711, 99);
  EXPECT_TRUE(remoteEvents.empty());
  // The record was queued first; the library does not know its id.
  EXPECT_EQ(MessageOf([&] { obturo.GetReleasedPicture(temp.file("x.jpg")); })
                .rfind("RCTakeCapturedImage errorcode 0x00000060", 0),
            0u);
}

// Released to the camera only: each picture the library still offers is
// fetched into "Temp.jpg" in the program's folder and deleted, unannounced.
class RCCameraOnlyTest : public RCBackendTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(RCCameraOnlyTest, PicturesAreDiscardedThroughTempJpg) {
  const std::string scratch = ProgramDir() + "/Temp.jpg";
  bool scratchWritten = false;
  obturo.OnRemoteGetPictureEvent = [&](int32_t) { scratchWritten = true; };
  EnterRemote(GetParam(), ReleaseModeOnlyToCamera, ReleaseDataKindTakeOnlyPicture);
  EXPECT_NO_THROW(obturo.TakePicture());
  // Only the start of a release is reported; no picture is announced.
  for (const auto& [event, data] : remoteEvents) EXPECT_EQ(event, RemoteEventCallbackReleaseStart);
  EXPECT_FALSE(std::filesystem::exists(scratch));
  EXPECT_FALSE(scratchWritten);  // no progress callback is given for discarding
  const bool releaseControl = TRCSDK::UsesReleaseControl(GetParam());
  EXPECT_EQ(CallsOf("RCGetReleasedData"), releaseControl ? 1u : 0u);
  EXPECT_EQ(CallsOf("RCTakeCapturedImage"), releaseControl ? 0u : 1u);
  // Nothing is left over to fetch.
  if (!releaseControl) {
    EXPECT_THROW(obturo.GetReleasedPicture(temp.file("x.jpg")), EListError);
  }
}

INSTANTIATE_TEST_SUITE_P(BothPaths, RCCameraOnlyTest, ::testing::Values(ReleaseControlModel, CaptureSessionModel),
                         [](const auto& test) {
                           return test.param == std::string(ReleaseControlModel) ? "ReleaseControl" : "CaptureSession";
                         });

}  // namespace
}  // namespace korv
