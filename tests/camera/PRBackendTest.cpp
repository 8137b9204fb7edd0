// The component with the PR backend against the simulated PR library: what
// reaches the camera (call log, property values read back) and what comes
// out of the component.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "camera/Obturo.h"
#include "camera/sdk/CamErrors.h"
#include "camera/sdk/PRAPI.h"
#include "camera/sdkapi/PTPDataset.h"
#include "runtime/Clock.h"
#include "tests/camsim/CamSimControl.h"
#include "tests/support/TempDir.h"

namespace korv {
namespace {

using test::SimulatedLibrary;

std::string MessageOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const Exception& e) {
    return e.what();
  }
  return "<nothing raised>";
}

// Width and height from a JPEG's frame header; {0, 0} when there is none.
std::pair<int, int> JpegSize(const std::string& bytes) {
  for (size_t at = 2; at + 8 < bytes.size(); ++at) {
    const auto b = [&](size_t i) { return static_cast<uint8_t>(bytes[at + i]); };
    if (b(0) == 0xFF && (b(1) == 0xC0 || b(1) == 0xC2)) return {b(7) << 8 | b(8), b(5) << 8 | b(6)};
  }
  return {0, 0};
}

bool IsWholeJpeg(const std::string& bytes) {
  return bytes.size() > 4 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xD8 &&
         static_cast<uint8_t>(bytes[bytes.size() - 2]) == 0xFF && static_cast<uint8_t>(bytes.back()) == 0xD9;
}

class PRBackendTest : public ::testing::Test {
protected:
  // Attaches cameras to the three libraries (RC: none).
  static void Load(const std::string& pr, const std::string& cd = "") {
    SimulatedLibrary::CD().LoadScenario(cd);
    SimulatedLibrary::RC().LoadScenario("");
    Library().LoadScenario(pr);
  }
  void Attach(const std::string& pr, const std::string& cd = "") {
    Load(pr, cd);
    Names = *Obturo.EnumerateCameras().PowerShotNames;
  }
  // A component of its own, connected to the scenario's only camera.
  static std::unique_ptr<TObturo> Connected(const std::string& pr) {
    Load(pr);
    auto obturo = std::make_unique<TObturo>();
    obturo->EnumerateCameras();
    obturo->Connect(CameraKindPowerShot, 0);
    NoteCamera();
    return obturo;
  }
  ConnectInfoType Connect(const std::string& pr = "camera PR\n", int number = 0) {
    Attach(pr);
    ConnectInfoType info = Obturo.Connect(CameraKindPowerShot, number);
    NoteCamera();
    return info;
  }
  TRemoteCapabilities Enter(const std::string& pr = "camera PR\n", bool probe = false) {
    Connect(pr);
    return Obturo.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, probe);
  }
  static SimulatedLibrary& Library() { return SimulatedLibrary::PR(); }

  // The camera object of the last connection, from the call log.
  static void NoteCamera() { Camera = static_cast<TSDKHandle>(Library().Calls("PR_ConnectCamera").back().Args[0]); }
  // The camera's value of a property, read straight from the library.
  static uint32_t CameraValue(uint16_t code) {
    const TSDKHandle camera = Camera;
    uint8_t bytes[4] = {};
    uint32_t size = sizeof bytes;
    EXPECT_EQ(PR_GetDevicePropValue(camera, code, &size, bytes), 0u);
    uint32_t value = 0;
    std::memcpy(&value, bytes, size);
    return value;
  }
  // Property codes of the calls of `entry`, in order.
  static std::vector<uint64_t> Codes(const std::string& entry) {
    std::vector<uint64_t> codes;
    for (const auto& call : Library().Calls(entry)) codes.push_back(call.Args[1]);
    return codes;
  }

  TObturo Obturo;
  std::vector<std::string> Names;
  static inline TSDKHandle Camera = 0;
};

// ---- Enumeration and connection ------------------------------------------------------

TEST_F(PRBackendTest, ConnectMessagesNameTheNewerPowerShotsAndTheCount) {
  Attach("");
  EXPECT_EQ(MessageOf([&] { Obturo.Connect(CameraKindPowerShot, 0); }),
            "There seems to be no connected PowerShot cameras (newer than S80) connected. Have you called the "
            "EnumerateCameras function before calling Connect?");
  Attach("camera PR\ncamera PR\n");
  EXPECT_EQ(MessageOf([&] { Obturo.Connect(CameraKindPowerShot, 2); }),
            "Not valid value in parameter ConnectToCamera when calling Connect. There are only 2 PowerShot "
            "cameras connected. Currently is parameter ConnectToCamera = 2");
  EXPECT_EQ(Obturo.ConnectInfo().Kind, CameraKindNone);
}

TEST_F(PRBackendTest, CameraListedByBothLibrariesComesOnceAfterTheCDNamesAndConnectsThroughPR) {
  Attach("camera PR\nmodel Shared\ncamera PR\nmodel Second PR\n",
         "camera CD\nmodel A\ncamera CD\nmodel Shared\ncamera CD\nmodel B\n");
  EXPECT_EQ(Names, (std::vector<std::string>{"A", "B", "Shared", "Second PR"}));
  EXPECT_EQ(CDDeviceList().size(), 2u);

  SimulatedLibrary::CD().ClearLog();
  ConnectInfoType info = Obturo.Connect(CameraKindPowerShot, 2);
  EXPECT_EQ(info.ModelName, "Shared");
  EXPECT_EQ(Library().Calls("PR_ConnectCamera").size(), 1u);
  EXPECT_TRUE(SimulatedLibrary::CD().Calls("CDOpenSource").empty());
}

TEST_F(PRBackendTest, SampleScenarioAttachesOnePRCamera) {
  const std::string sample = test::ReadFile(KORV_SOURCE_DIR "/camsim/scenarios/pr-camera.txt");
  ASSERT_FALSE(sample.empty());
  EXPECT_EQ(Connect(sample).ModelName, "Canon PowerShot G7");
  EXPECT_EQ(Names, std::vector<std::string>{"Canon PowerShot G7"});
  Obturo.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false);
  EXPECT_EQ(Obturo.GetZoomInfo(), (TZoomInfo{0, 5, 24}));
}

TEST_F(PRBackendTest, ConnectReportsOwnerAndBatteryWithinTheirRanges) {
  struct Case {
    const char* Battery;
    uint8_t Kind, Level;
  };
  for (const Case& c : {Case{"5 3", 5, 3}, Case{"1 1", 1, 1}, Case{"6 4", 0, 0}, Case{"0 0", 0, 0}}) {
    auto obturo = Connected(std::string("camera PR\nmodel Canon PowerShot Gé7\nowner Tető kamera\nbattery ") +
                            c.Battery + "\n");
    const ConnectInfoType& info = obturo->ConnectInfo();
    EXPECT_EQ(info.Kind, CameraKindPowerShot);
    EXPECT_EQ(info.ModelName, "Canon PowerShot Gé7");
    EXPECT_EQ(info.CameraOwner, "Tető kamera");
    EXPECT_EQ(info.BatteryKind, c.Kind) << c.Battery;
    EXPECT_EQ(info.BatteryLevel, c.Level) << c.Battery;
  }
}

TEST_F(PRBackendTest, FailedConnectionLeavesNoCameraSoARetryWorks) {
  Attach("camera PR\n");
  Library().FailNext("PR_ConnectCamera", 1, 0x2019);
  EXPECT_EQ(MessageOf([&] { Obturo.Connect(CameraKindPowerShot, 0); }),
            "PR_ConnectCamera errorcode 0x00002019, Device busy");
  EXPECT_EQ(Obturo.ConnectInfo().Kind, CameraKindNone);
  EXPECT_EQ(Obturo.Connect(CameraKindPowerShot, 0).Kind, CameraKindPowerShot);
}

TEST_F(PRBackendTest, RemoteCapabilityFollowsTheListedReleaseOperation) {
  Connect("camera PR\noperations 0x1001 0x9008\n");
  EXPECT_TRUE(Obturo.IsRemoteCapable());
  auto other_ = Connected("camera PR\noperations 0x1001 0x900B\n");
  TObturo& other = *other_;
  EXPECT_FALSE(other.IsRemoteCapable());
}

TEST_F(PRBackendTest, CameraEventsFromTheLibraryReachTheComponent) {
  std::vector<EventCallbackType> events;
  std::vector<RemoteEventCallbackType> remote;
  Obturo.OnEvent = [&](EventCallbackType event) { events.push_back(event); };
  Obturo.OnRemoteEvent = [&](RemoteEventCallbackType event, AdditionNotifyRemoteEventType) { remote.push_back(event); };
  Connect();
  Library().RaisePREvent(0xC00A, 3);  // battery
  Library().RaisePREvent(0xC001, 0);
  Library().RaisePREvent(0x4006, 0);  // a property changed on the camera
  EXPECT_EQ(events, (std::vector<EventCallbackType>{{2, 3}, {3, 6}}));
  EXPECT_EQ(remote, std::vector<RemoteEventCallbackType>{RemoteEventCallbackChangedByUI});
}

// ---- Remote mode -------------------------------------------------------------------------

TEST_F(PRBackendTest, TransferModeWrittenForEachReleaseModeAndDataKind) {
  struct Case {
    ReleaseModeType Mode;
    ReleaseDataKindType Kind;
    uint32_t Written;
  };
  for (const Case& c : {Case{ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyThumbnail, 1},
                        Case{ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, 2},
                        Case{ReleaseModeOnlyToPC, ReleaseDataKingTakeBothThumbAndPic, 3},
                        Case{ReleaseModeOnlyToCamera, ReleaseDataKindTakeOnlyThumbnail, 4},
                        Case{ReleaseModeOnlyToCamera, ReleaseDataKindTakeOnlyPicture, 8},
                        Case{ReleaseModeOnlyToCamera, ReleaseDataKingTakeBothThumbAndPic, 12}}) {
    auto obturo_ = Connected("camera PR\n");
    TObturo& obturo = *obturo_;
    obturo.EnterRemoteMode(c.Mode, c.Kind, false);
    EXPECT_EQ(CameraValue(PRPropCaptureTransferMode), c.Written) << int(c.Mode) << "/" << int(c.Kind);
  }
}

TEST_F(PRBackendTest, BothTargetsRefusedAfterReleaseControlWasInitiated) {
  Connect();
  Library().ClearLog();
  for (auto kind : {ReleaseDataKindTakeOnlyThumbnail, ReleaseDataKindTakeOnlyPicture, ReleaseDataKingTakeBothThumbAndPic}) {
    EXPECT_EQ(MessageOf([&] { Obturo.EnterRemoteMode(ReleaseModeBothPCAndCamera, kind, false); }),
              "Release to both camera and PC does not work for the connected camera");
  }
  EXPECT_EQ(Library().Calls("PR_InitiateReleaseControl").size(), 3u);
  EXPECT_TRUE(Library().Calls("PR_SetDevicePropValue").empty());
  EXPECT_EQ(MessageOf([&] { Obturo.TakePicture(); }), "Camera not in remote mode");
}

TEST_F(PRBackendTest, WithoutProbingOnlyTheCapabilityFlagsAreSet) {
  struct Case {
    const char* Scenario;
    std::vector<uint8_t> Flags;
  };
  for (const Case& c : {Case{"camera PR\n", {1, 1, 1, 0, 1}},
                        Case{"camera PR\nproperty 0xD02A none\noperations 0x9008\n", {0, 1, 0, 0, 0}},
                        Case{"camera PR\noperations 0x9014\n", {1, 1, 0, 0, 1}}}) {
    auto obturo_ = Connected(c.Scenario);
    TObturo& obturo = *obturo_;
    const auto caps = obturo.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false);
    EXPECT_EQ(std::vector<uint8_t>(caps.begin(), caps.begin() + 5), c.Flags) << c.Scenario;
    EXPECT_TRUE(std::all_of(caps.begin() + 5, caps.end(), [](uint8_t flag) { return flag == 0; }));
  }
  EXPECT_TRUE(Library().Calls("PR_GetDevicePropDesc").empty());
}

TEST_F(PRBackendTest, ProbeMarksWhatEachDescriptorOffersAndReportsRisingProgress) {
  std::vector<int32_t> progress;
  Obturo.OnRemoteProbeParamEvent = [&](int32_t percent) { progress.push_back(percent); };
  const auto caps = Enter("camera PR\nproperty 0xD040 none\nproperty 0xD017 list 0xFF 0 1\n"
                          "property 0xD019 list 0 1 99\nproperty 0xD008 list 0 1 2 3 7\n",
                          true);

  ASSERT_EQ(progress.size(), 18u);
  EXPECT_EQ(progress.front(), 0);
  EXPECT_EQ(progress.back(), 100);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ(std::adjacent_find(progress.begin(), progress.end()), progress.end());  // strictly rising

  auto flags = [&](int from, int to) { return std::vector<uint8_t>(caps.begin() + from, caps.begin() + to + 1); };
  EXPECT_EQ(flags(114, 117), (std::vector<uint8_t>{0, 1, 1, 1}));  // contrast
  EXPECT_EQ(flags(118, 121), (std::vector<uint8_t>{0, 1, 1, 1}));  // colour saturation
  EXPECT_EQ(flags(122, 125), (std::vector<uint8_t>{0, 0, 1, 1}));  // sharpness: the unknown 99 leaves no mark
  EXPECT_EQ(flags(250, 256), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0}));  // photo effect not listed
  EXPECT_EQ(flags(11, 17), (std::vector<uint8_t>{0, 1, 0, 1, 1, 1, 1}));  // image size: no PR code for 2
  EXPECT_EQ(flags(5, 10), (std::vector<uint8_t>{0, 1, 1, 1, 1, 1}));  // quality 1-4 and lossless from 0xD007
  EXPECT_EQ(flags(257, 259), (std::vector<uint8_t>{0, 1, 1}));

  // One descriptor per listed setting, two for quality, none for photo effect.
  const auto descs = Codes("PR_GetDevicePropDesc");
  EXPECT_EQ(descs.size(), 17u);
  EXPECT_EQ(std::vector<uint64_t>(descs.begin(), descs.begin() + 3),
            (std::vector<uint64_t>{PRPropImageSize, PRPropQuality, PRPropFileFormat}));
  EXPECT_EQ(std::count(descs.begin(), descs.end(), PRPropPhotoEffect), 0);
}

TEST_F(PRBackendTest, ProbeOfQualityReadsOnlyTheDescriptorsTheCameraLists) {
  struct Case {
    const char* Lines;
    std::vector<uint8_t> Quality;  // flags 5-10
  };
  const Case cases[] = {
      {"property 0xD007 none\n", {0, 1, 1, 1, 1, 0}},  // no lossless without the file format
      {"property 0xD006 none\n", {0, 0, 0, 0, 0, 1}},  // only lossless, from the file format
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Lines);
    auto obturo = Connected(std::string("camera PR\n") + c.Lines);
    TRemoteCapabilities caps{};
    EXPECT_EQ(MessageOf([&] { caps = obturo->EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, true); }),
              "<nothing raised>");
    EXPECT_EQ(std::vector<uint8_t>(caps.begin() + 5, caps.begin() + 11), c.Quality);
  }
}

// ---- Settings --------------------------------------------------------------------------

TEST_F(PRBackendTest, LosslessFileFormatReadsAsQualityFiveWhateverTheQualityHolds) {
  struct Case {
    const char* Values;
    uint8_t Quality;
  };
  for (const Case& c : {Case{"propvalue 0xD007 2\npropvalue 0xD006 1\n", 5}, Case{"propvalue 0xD007 2\n", 5},
                        Case{"propvalue 0xD007 1\npropvalue 0xD006 5\n", 4},
                        Case{"propvalue 0xD007 1\npropvalue 0xD006 3\n", 3}}) {
    auto obturo_ = Connected(std::string("camera PR\n") + c.Values);
    TObturo& obturo = *obturo_;
    obturo.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false);
    EXPECT_EQ(obturo.GetCameraSettings().Quality, c.Quality) << c.Values;
  }
}

TEST_F(PRBackendTest, QualityWritesTheFileFormatFirst) {
  Enter("camera PR\nproperty 0xD006 list 1 2 3 4 5\n");
  TCameraSettings settings;
  settings.Quality = 5;
  Library().ClearLog();
  Obturo.SetCameraSettings(settings);
  EXPECT_EQ(Codes("PR_SetDevicePropValue"), (std::vector<uint64_t>{PRPropFileFormat, PRPropQuality}));
  EXPECT_EQ(CameraValue(PRPropFileFormat), 2u);
  EXPECT_EQ(CameraValue(PRPropQuality), 4u);

  for (uint8_t quality = 1; quality <= 4; ++quality) {
    settings.Quality = quality;
    Library().ClearLog();
    Obturo.SetCameraSettings(settings);
    EXPECT_EQ(Codes("PR_SetDevicePropValue"), (std::vector<uint64_t>{PRPropFileFormat, PRPropQuality}));
    EXPECT_EQ(CameraValue(PRPropFileFormat), 1u);
    EXPECT_EQ(Obturo.GetCameraSettings().Quality, quality);
  }
}

TEST_F(PRBackendTest, SettingsGoOutInOrderAndComeBack) {
  Enter();
  Library().ClearLog();
  Obturo.SetCameraSettings(TCameraSettings{});
  EXPECT_TRUE(Library().Calls("PR_SetDevicePropValue").empty());

  TCameraSettings settings;
  settings.ImageSize = 3;
  settings.Quality = 2;
  settings.ShootingMode = 2;
  settings.Av = 13;
  settings.Tv = 17;
  settings.ExposureCompensation = 7;
  settings.WhiteBalance = 7;
  settings.AFDistance = 2;
  settings.FlashMode = 1;
  settings.FlashCompensation = 7;
  settings.MeteringMode = 2;
  settings.ISO = 3;
  settings.Contrast = 1;
  settings.ColorSaturation = 3;
  settings.Sharpness = 2;
  settings.PhotoEffect = 3;
  settings.Beep = 2;
  settings.ColorTemperature = 5200;
  Obturo.SetCameraSettings(settings);
  EXPECT_EQ(Codes("PR_SetDevicePropValue"),
            (std::vector<uint64_t>{0xD008, 0xD007, 0xD006, 0xD00C, 0xD01D, 0xD01E, 0xD01F, 0xD013, 0xD011, 0xD00A,
                                   0xD020, 0xD010, 0xD01C, 0xD017, 0xD018, 0xD019, 0xD040, 0xD00B}));
  const std::vector<uint64_t> widths = [] {
    std::vector<uint64_t> sizes;
    for (const auto& call : Library().Calls("PR_SetDevicePropValue")) sizes.push_back(call.Args[2]);
    return sizes;
  }();
  EXPECT_EQ(widths, (std::vector<uint64_t>{1, 1, 1, 1, 2, 2, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 2, 1}));
  EXPECT_EQ(CameraValue(PRPropAv), 40u);
  EXPECT_EQ(CameraValue(PRPropContrast), 0xFFu);

  Library().ClearLog();
  TCameraSettings read = Obturo.GetCameraSettings();
  settings.ColorTemperature = 0;  // no PR property
  EXPECT_EQ(read, settings);
  EXPECT_EQ(Codes("PR_GetDevicePropValue"),
            (std::vector<uint64_t>{0xD008, 0xD007, 0xD006, 0xD00C, 0xD01D, 0xD01E, 0xD01F, 0xD013, 0xD011, 0xD00A,
                                   0xD020, 0xD010, 0xD01C, 0xD017, 0xD018, 0xD019, 0xD040, 0xD00B}));
}

TEST_F(PRBackendTest, UnreadableOrUnknownValuesReadAsZero) {
  Enter("camera PR\npropvalue 0xD013 99\nproperty 0xD040 none\n");
  Library().FailNext("PR_GetDevicePropValue", 1, 0x2019);
  TCameraSettings read = Obturo.GetCameraSettings();
  EXPECT_EQ(read.ImageSize, 0);     // the failed read
  EXPECT_EQ(read.WhiteBalance, 0);  // code 99 has no ordinal
  EXPECT_EQ(read.PhotoEffect, 0);   // not on this camera
  EXPECT_EQ(read.ShootingMode, 1);
  EXPECT_EQ(read.Beep, 1);
}

// ---- Zoom ---------------------------------------------------------------------------

TEST_F(PRBackendTest, ZoomRangeAndOpticalLimit) {
  struct Case {
    const char* Scenario;
    TZoomInfo Zoom;
  };
  for (const Case& c : {Case{"camera PR\nzoom 3 12 4\n", {3, 4, 12}},
                        Case{"camera PR\nzoom 3 12 4\npropvalue 0xD03D 0xFF\n", {3, 12, 12}},
                        Case{"camera PR\nzoom 0 8 8\n", {0, 8, 8}}}) {
    auto obturo_ = Connected(c.Scenario);
    TObturo& obturo = *obturo_;
    obturo.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false);
    EXPECT_EQ(obturo.GetZoomInfo(), c.Zoom) << c.Scenario;
  }
  auto obturo_ = Connected("camera PR\nzoom 0 12 4\n");
  TObturo& obturo = *obturo_;
  obturo.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false);
  obturo.SetZoom(7);
  EXPECT_EQ(obturo.GetZoomInfo().Position, 7u);
  EXPECT_EQ(MessageOf([&] { obturo.SetZoom(13); }), "PR_SetDevicePropValue errorcode 0x0000201C, Invalid device property value");
}

TEST_F(PRBackendTest, WithoutZoomPropertyZoomIsSilent) {
  const auto caps = Enter("camera PR\nproperty 0xD02A none\n");
  EXPECT_EQ(caps[CapZoom], 0);
  Library().ClearLog();
  EXPECT_EQ(Obturo.GetZoomInfo(), TZoomInfo{});
  Obturo.SetZoom(3);
  EXPECT_TRUE(Library().Log().empty());
}

// ---- Release and transfer --------------------------------------------------------------

class PRReleaseTest : public PRBackendTest {
protected:
  // A PR camera under a fixed sky, so that the pictures are the same at any hour.
  static std::string Pinned(const std::string& lines = "") { return "camera PR\n" + std::string(test::FixedSky) + lines; }
  // Fetches each announced picture into the next numbered file, as the
  // station does.
  void FetchOnRelease() {
    Obturo.OnRemoteEvent = [this](RemoteEventCallbackType event, AdditionNotifyRemoteEventType data) {
      Events.push_back(event);
      Counts.push_back(data.PictureCount);
      Threads.push_back(std::this_thread::get_id());
      if (event == RemoteEventCallbackReleaseComplete) FetchNext();
    };
  }
  void FetchNext() {
    const std::string file = Folder.file("picture" + std::to_string(Files.size()) + ".jpg");
    Obturo.GetReleasedPicture(file);
    Files.push_back(file);
  }
  test::TempDir Folder;
  std::vector<RemoteEventCallbackType> Events;
  std::vector<int32_t> Counts;
  std::vector<std::thread::id> Threads;
  std::vector<std::string> Files;
};

TEST_F(PRReleaseTest, ReleasedPictureReachesTheFileThroughTheDataCallback) {
  FetchOnRelease();
  std::vector<int32_t> progress;
  Obturo.OnRemoteGetPictureEvent = [&](int32_t percent) { progress.push_back(percent); };
  Enter(Pinned("propvalue 0xD008 1\npropvalue 0xD006 3\n"));  // medium, fine: several blocks
  EXPECT_EQ(Obturo.TakePicture(), 0u);

  EXPECT_EQ(Events, std::vector<RemoteEventCallbackType>{RemoteEventCallbackReleaseComplete});
  EXPECT_EQ(Counts, std::vector<int32_t>{1});
  ASSERT_EQ(Files.size(), 1u);
  const std::string jpeg = test::ReadFile(Files[0]);
  EXPECT_TRUE(IsWholeJpeg(jpeg));
  EXPECT_EQ(JpegSize(jpeg), std::make_pair(1600, 1200));
  EXPECT_GT(jpeg.size(), 100000u);
  EXPECT_EQ(progress.size(), (jpeg.size() + 99999) / 100000 + 1);
  EXPECT_EQ(progress.back(), 100);

  const auto transfer = Library().Calls("PR_RC_GetReleasedData");
  ASSERT_EQ(transfer.size(), 1u);
  EXPECT_EQ(transfer[0].Args[2], PREventObjectAdded);
  EXPECT_EQ(transfer[0].Args[3], 100000u);
}

TEST_F(PRReleaseTest, ThumbnailEventIsKeptAndTransferredFirst) {
  FetchOnRelease();
  Enter(Pinned("releaseevents 0xC009 0xC008\n"));
  Obturo.TakePicture();
  EXPECT_EQ(Events, std::vector<RemoteEventCallbackType>{RemoteEventCallbackReleaseComplete});
  ASSERT_EQ(Files.size(), 1u);
  EXPECT_EQ(JpegSize(test::ReadFile(Files[0])), std::make_pair(160, 120));
  FetchNext();  // the picture still waits
  EXPECT_EQ(JpegSize(test::ReadFile(Files[1])), std::make_pair(640, 480));
  EXPECT_EQ(Library().Calls("PR_RC_GetReleasedData")[0].Args[2], PREventThumbnailAdded);
  EXPECT_THROW(FetchNext(), EListError);  // nothing left
}

TEST_F(PRReleaseTest, TransferReplacesALongerFileEntirely) {
  FetchOnRelease();
  Enter(Pinned());
  const std::string junk(3 << 20, 'x');
  test::WriteFile(Folder.file("picture0.jpg"), junk);
  Obturo.TakePicture();
  const std::string jpeg = test::ReadFile(Files.at(0));
  EXPECT_TRUE(IsWholeJpeg(jpeg));
  EXPECT_LT(jpeg.size(), junk.size());
}

TEST_F(PRReleaseTest, TransferBrokenOffCanBeRepeated) {
  Obturo.OnRemoteEvent = [](RemoteEventCallbackType, AdditionNotifyRemoteEventType) {};  // keeps the releases
  Enter(Pinned());
  bool fail = true;
  Obturo.OnRemoteGetPictureEvent = [&](int32_t) {
    if (std::exchange(fail, false)) throw EInOutError("disk gone");
  };
  Obturo.TakePicture();
  EXPECT_EQ(MessageOf([&] { FetchNext(); }), "disk gone");
  Files.clear();
  FetchNext();
  EXPECT_TRUE(IsWholeJpeg(test::ReadFile(Files.at(0))));
}

TEST_F(PRReleaseTest, EventsFromTheLibraryThreadStillFetchThePicture) {
  FetchOnRelease();
  Enter(Pinned("events thread\n"));
  Obturo.TakePicture();
  ASSERT_TRUE(Library().WaitIdle());
  ASSERT_EQ(Files.size(), 1u);
  EXPECT_NE(Threads[0], std::this_thread::get_id());
  EXPECT_TRUE(IsWholeJpeg(test::ReadFile(Files[0])));
}

TEST_F(PRReleaseTest, PicturesKeptOnTheCardAreNotAnnounced) {
  FetchOnRelease();
  Connect(Pinned());
  Obturo.EnterRemoteMode(ReleaseModeOnlyToCamera, ReleaseDataKindTakeOnlyPicture, false);
  Obturo.TakePicture();
  EXPECT_TRUE(Events.empty());
  EXPECT_EQ(MessageOf([&] { Obturo.GetReleasedPicture(Folder.file("none.jpg")); }), "List index out of bounds (0)");
}

TEST_F(PRReleaseTest, FailedReleaseIsReported) {
  Enter(Pinned());
  Library().FailNext("PR_RC_Release", 1, 0xA009);
  EXPECT_EQ(MessageOf([&] { Obturo.TakePicture(); }), "PR_RC_Release errorcode 0x0000A009, Extension low battery");
}

}  // namespace
}  // namespace korv
