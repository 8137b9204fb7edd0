// The component's own checks, registry and callbacks, driven without a
// camera library: callbacks are called as a library would call them.
#include "camera/Obturo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "camera/sdk/CamErrors.h"
#include "runtime/Clock.h"
#include "tests/camera/RaisedMessage.h"
#include "tests/support/TempDir.h"

namespace korv {

class ObturoTestAccess {
public:
  static void OpenPictureStream(TObturo& obturo, const std::string& file) {
    obturo.FPictureStream.open(file, std::ios::binary | std::ios::trunc);
    obturo.FPictureFileName = file;
  }
  static bool PictureStreamOpen(const TObturo& obturo) { return obturo.FPictureStream.is_open(); }
  // As if a PR camera were connected and in remote mode.
  static void PretendPRCamera(TObturo& obturo) {
    obturo.FConnectInfo.Kind = CameraKindPowerShot;
    obturo.FBackend = TObturo::Backend::PR;
    obturo.FRemoteMode = true;
  }
  static std::vector<uint16_t> PendingCodes(TObturo& obturo) {
    std::vector<uint16_t> codes;
    for (const auto& record : obturo.FPendingReleases) codes.push_back(static_cast<uint16_t>(record[6] | record[7] << 8));
    return codes;
  }
};

namespace {

// Records pauses instead of sleeping.
class RecordingClock : public Clock {
public:
  LocalTime Now() override { return {}; }
  void Sleep(uint32_t milliseconds) override { Sleeps.push_back(milliseconds); }
  std::vector<uint32_t> Sleeps;
};

using test::MessageOf;

struct RemoteEvent {
  RemoteEventCallbackType Event;
  AdditionNotifyRemoteEventType Data;
};

class ObturoTest : public ::testing::Test {
protected:
  void SetUp() override {
    previousClock = SetClock(&clock);
    obturo.OnRemoteEvent = [this](RemoteEventCallbackType event, AdditionNotifyRemoteEventType data) {
      remoteEvents.push_back({event, data});
    };
    obturo.OnEvent = [this](EventCallbackType event) { events.push_back(event); };
  }
  void TearDown() override { SetClock(previousClock); }

  uint32_t Context() const { return static_cast<uint32_t>(obturo.RegistryIndex()); }
  void Release(uint32_t id, uint32_t word0 = 0, uint32_t word1 = 0) {
    const uint32_t words[2] = {word0, word1};
    TObturo::ReleaseEventCallback(id, words, 0, Context());
  }
  // Fixes the release modes the way a station would, without a camera.
  void SetModes(ReleaseModeType mode, ReleaseDataKindType kind) {
    EXPECT_THROW(obturo.EnterRemoteMode(mode, kind, false), ECamException);
  }
  void PREvent(uint16_t code, uint32_t parameter = 0) {
    uint8_t record[PREventRecordSize] = {};
    std::memcpy(record + PREventCodeOffset, &code, sizeof code);
    std::memcpy(record + PREventParameterOffset, &parameter, sizeof parameter);
    TObturo::PREventCallback(0, Context(), record);
  }

  RecordingClock clock;
  Clock* previousClock = nullptr;
  TObturo obturo;
  std::vector<RemoteEvent> remoteEvents;
  std::vector<EventCallbackType> events;
};

TEST_F(ObturoTest, OperationsAfterRemoteModeCheckRemoteModeFirst) {
  const std::vector<std::function<void()>> operations = {
      [&] { obturo.TakePicture(); },
      [&] { obturo.GetReleasedPicture("x.jpg"); },
      [&] { obturo.GetCameraSettings(); },
      [&] { obturo.SetCameraSettings({}); },
      [&] { obturo.GetZoomInfo(); },
      [&] { obturo.SetZoom(1); },
  };
  for (const auto& operation : operations) EXPECT_EQ(MessageOf(operation), "Camera not in remote mode");
}

TEST_F(ObturoTest, WithoutCameraRemoteModeRaisesButKeepsTheModes) {
  EXPECT_EQ(MessageOf([&] { obturo.EnterRemoteMode(ReleaseModeOnlyToCamera, ReleaseDataKingTakeBothThumbAndPic, true); }),
            "No camera is connected");
  EXPECT_EQ(obturo.ReleaseMode(), ReleaseModeOnlyToCamera);
  EXPECT_EQ(obturo.ReleaseDataKind(), ReleaseDataKingTakeBothThumbAndPic);
  EXPECT_EQ(MessageOf([&] { obturo.IsRemoteCapable(); }), "No camera is connected");
  EXPECT_EQ(MessageOf([&] { obturo.TakePicture(); }), "Camera not in remote mode");
}

TEST_F(ObturoTest, UnknownCameraKindConnectsNothing) {
  const ConnectInfoType info = obturo.Connect(7, 0);
  EXPECT_EQ(info.Kind, 0);
  EXPECT_EQ(info.ModelName, "");
}

TEST(ObturoRegistryTest, InstancesShareTheListsUntilTheLastGoes) {
  auto first = std::make_unique<TObturo>();
  auto second = std::make_unique<TObturo>();
  EXPECT_NE(first->RegistryIndex(), second->RegistryIndex());
  EXPECT_EQ(TObturo::FromRegistry(first->RegistryIndex()), first.get());
  EXPECT_EQ(TObturo::FromRegistry(second->RegistryIndex()), second.get());
  EXPECT_EQ(TObturo::FromRegistry(1000), nullptr);

  CDDeviceList().push_back({});
  const int32_t firstIndex = first->RegistryIndex();
  first.reset();
  EXPECT_EQ(TObturo::FromRegistry(firstIndex), nullptr);
  EXPECT_EQ(CDDeviceList().size(), 1u);

  second.reset();
  EXPECT_EQ(CDDeviceList().size(), 0u);
  // A library may still call with an old index: it is never given again.
  TObturo third;
  EXPECT_GT(third.RegistryIndex(), firstIndex);
  EXPECT_EQ(TObturo::FromRegistry(firstIndex), nullptr);
}

TEST_F(ObturoTest, ReleaseEventsBecomeRemoteEvents) {
  Release(28);
  Release(29, 3);
  Release(31, 5, 6);
  Release(34, 0, 16);
  Release(34, 0, 32);
  Release(10);
  Release(27);
  Release(30);
  Release(32);
  Release(33);
  const std::vector<RemoteEventCallbackType> expected = {
      RemoteEventCallbackReleaseStart,      RemoteEventCallbackReleaseComplete, RemoteEventCallbackNotUsed,
      RemoteEventCallbackReleaseImageReady, RemoteEventCallbackReleaseImageReady, RemoteEventCallbackResetHWError,
      RemoteEventCallbackChangedByUI,       RemoteEventCallbackCamReleaseOn,    RemoteEventCallbackViewfinderOff,
      RemoteEventCallbackViewfinderOn};
  ASSERT_EQ(remoteEvents.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(remoteEvents[i].Event, expected[i]) << i;
  EXPECT_EQ(remoteEvents[0].Data, AdditionNotifyRemoteEventType{});
  EXPECT_EQ(remoteEvents[1].Data, (AdditionNotifyRemoteEventType{1, 0, 3}));
  EXPECT_EQ(remoteEvents[2].Data, AdditionNotifyRemoteEventType{});
  EXPECT_EQ(remoteEvents[3].Data, (AdditionNotifyRemoteEventType{2, 1, 0}));
  EXPECT_EQ(remoteEvents[4].Data, (AdditionNotifyRemoteEventType{2, 2, 0}));
}

TEST_F(ObturoTest, BothKindsHalveThePictureCount) {
  SetModes(ReleaseModeOnlyToPC, ReleaseDataKingTakeBothThumbAndPic);
  Release(29, 3);
  ASSERT_EQ(remoteEvents.size(), 1u);
  EXPECT_EQ(remoteEvents[0].Data.PictureCount, 1);
}

TEST_F(ObturoTest, UnknownPictureTypeRaisesNoEvent) {
  // Called back outside any operation, as from a library thread: the error
  // can't reach a caller and must not end the program.
  EXPECT_EQ(MessageOf([&] { Release(34, 0, 7); }), "<nothing raised>");
  EXPECT_TRUE(remoteEvents.empty());
}

TEST_F(ObturoTest, ReleaseEventsWithoutHandlerAreIgnoredEntirely) {
  obturo.OnRemoteEvent = nullptr;
  EXPECT_NO_THROW(Release(34, 0, 7));
  SetModes(ReleaseModeOnlyToCamera, ReleaseDataKindTakeOnlyPicture);
  EXPECT_NO_THROW(Release(29, 2));
}

TEST_F(ObturoTest, CameraOnlyPicturesAreNotAnnounced) {
  SetModes(ReleaseModeOnlyToCamera, ReleaseDataKindTakeOnlyPicture);
  Release(29, 2);
  Release(34, 0, 16);
  EXPECT_TRUE(remoteEvents.empty());
}

TEST_F(ObturoTest, ReleaseEventWithoutDataReadsZeros) {
  TObturo::ReleaseEventCallback(29, nullptr, 0, Context());
  ASSERT_EQ(remoteEvents.size(), 1u);
  EXPECT_EQ(remoteEvents[0].Data, (AdditionNotifyRemoteEventType{1, 0, 0}));
}

struct CameraEventCase {
  uint32_t Id;
  uint32_t Word;
  EventCallbackType Expected;
};

TEST_F(ObturoTest, CameraEventsMapToSeverityAndKind) {
  const CameraEventCase cases[] = {CameraEventCase{0x00000001, 0x10000006, {1, 1}}, CameraEventCase{0x00020001, 4, {2, 2}},
                      CameraEventCase{0x00040001, 3, {3, 3}}, CameraEventCase{0x00010001, 2, {0, 4}},
                      CameraEventCase{0x00000001, 5, {1, 0}}, CameraEventCase{0x00000002, 0, {1, 5}},
                      CameraEventCase{0x00000003, 0, {1, 6}}, CameraEventCase{0x00000004, 0, {1, 7}},
                      CameraEventCase{0x00000006, 0, {1, 9}}, CameraEventCase{0x00000007, 0, {1, 10}},
                      CameraEventCase{0x0000000B, 0, {1, 11}}, CameraEventCase{0x0000000D, 0, {1, 8}},
                      CameraEventCase{0x00080008, 0, {0, 0}}};
  for (const CameraEventCase& c : cases) {
    SCOPED_TRACE("event " + std::to_string(c.Id) + " word " + std::to_string(c.Word));
    events.clear();
    TObturo::CameraEventCallback(c.Id, &c.Word, 0, Context());
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], c.Expected);
  }
}

TEST_F(ObturoTest, CameraEventFiveRaisesNoEvent) {
  const uint32_t word = 0;
  EXPECT_EQ(MessageOf([&] { TObturo::CameraEventCallback(5, &word, 0, Context()); }), "<nothing raised>");
  EXPECT_TRUE(events.empty());
}

TEST_F(ObturoTest, ProgressIsReportedThenPaced) {
  std::vector<int32_t> taken, fetched;
  obturo.OnRemoteTakePictureEvent = [&](int32_t percent) { taken.push_back(percent); };
  TObturo::TakePictureProgressCallback(40, 0, Context());
  TObturo::GetPictureProgressCallback(70, 0, Context());  // no handler: only the pause
  obturo.OnRemoteGetPictureEvent = [&](int32_t percent) { fetched.push_back(percent); };
  TObturo::GetPictureProgressCallback(100, 0, Context());
  EXPECT_EQ(taken, std::vector<int32_t>{40});
  EXPECT_EQ(fetched, std::vector<int32_t>{100});
  EXPECT_EQ(clock.Sleeps, (std::vector<uint32_t>{10, 10, 10}));
}

TEST_F(ObturoTest, PREventsRaiseEventsAndKeepReleases) {
  PREvent(0xC001);
  PREvent(0xC00A, 1);
  PREvent(0xC00A, 3);
  PREvent(0xC00A, 9);
  PREvent(0xD001);
  PREvent(0x1234);
  EXPECT_EQ(events, (std::vector<EventCallbackType>{{3, 6}, {1, 1}, {2, 3}, {0, 0}, {3, 8}}));

  PREvent(0xC009);
  EXPECT_TRUE(remoteEvents.empty());
  PREvent(0xC008);
  ASSERT_EQ(remoteEvents.size(), 1u);
  EXPECT_EQ(remoteEvents[0].Event, RemoteEventCallbackReleaseComplete);
  EXPECT_EQ(remoteEvents[0].Data, (AdditionNotifyRemoteEventType{1, 0, 1}));
  EXPECT_EQ(ObturoTestAccess::PendingCodes(obturo), (std::vector<uint16_t>{0xC009, 0xC008}));

  PREvent(0x4006);
  PREvent(0xC005);
  PREvent(0xC006);
  PREvent(0xC007);
  PREvent(0xC00B);
  ASSERT_EQ(remoteEvents.size(), 6u);
  EXPECT_EQ(remoteEvents[1].Event, RemoteEventCallbackChangedByUI);
  EXPECT_EQ(remoteEvents[2].Event, RemoteEventCallbackResetHWError);
  EXPECT_EQ(remoteEvents[3].Event, RemoteEventCallbackViewfinderOff);
  EXPECT_EQ(remoteEvents[4].Event, RemoteEventCallbackViewfinderOn);
  EXPECT_EQ(remoteEvents[5].Event, RemoteEventCallbackCamReleaseOn);
}

TEST_F(ObturoTest, PRReleasesAreNotKeptWithoutRemoteHandler) {
  obturo.OnRemoteEvent = nullptr;
  PREvent(0xC008);
  EXPECT_TRUE(ObturoTestAccess::PendingCodes(obturo).empty());
}

TEST_F(ObturoTest, PRDataChunksFillTheFileAndTheLastClosesIt) {
  test::TempDir dir;
  const std::string file = dir.file("picture.jpg");
  test::WriteFile(file, std::string(3000, 'o'));  // an older, longer picture
  ObturoTestAccess::OpenPictureStream(obturo, file);
  std::vector<int32_t> progress;
  obturo.OnRemoteGetPictureEvent = [&](int32_t percent) { progress.push_back(percent); };

  auto chunk = [&](const std::string& data, uint32_t percent) {
    uint8_t block[PRDataBlockSize] = {};
    const auto length = static_cast<uint32_t>(data.size());
    const char* pointer = data.data();
    std::memcpy(block + PRDataProgressOffset, &percent, sizeof percent);
    std::memcpy(block + PRDataLengthOffset, &length, sizeof length);
    std::memcpy(block + PRDataPointerOffset, &pointer, sizeof pointer);
    TObturo::PRDataCallback(0, 0, Context(), block);
  };
  chunk(std::string(1000, 'a'), 66);
  chunk(std::string(500, 'b'), 100);
  EXPECT_TRUE(ObturoTestAccess::PictureStreamOpen(obturo));
  chunk("", 100);
  EXPECT_FALSE(ObturoTestAccess::PictureStreamOpen(obturo));
  EXPECT_EQ(test::ReadFile(file), std::string(1000, 'a') + std::string(500, 'b'));
  EXPECT_EQ(progress, (std::vector<int32_t>{66, 100, 100}));
}

TEST_F(ObturoTest, APRTransferTouchesTheFileOnlyWithAPictureAndKeepsTheReleaseUntilItSucceeds) {
  test::TempDir dir;
  const std::string file = dir.file("picture.jpg");
  test::WriteFile(file, "older picture");
  ObturoTestAccess::PretendPRCamera(obturo);
  EXPECT_EQ(MessageOf([&] { obturo.GetReleasedPicture(file); }), "List index out of bounds (0)");
  EXPECT_EQ(test::ReadFile(file), "older picture");
  EXPECT_FALSE(ObturoTestAccess::PictureStreamOpen(obturo));

  PREvent(0xC009);
  EXPECT_THROW(obturo.GetReleasedPicture(file), Exception);  // no PR camera to transfer from
  EXPECT_FALSE(ObturoTestAccess::PictureStreamOpen(obturo));
  EXPECT_EQ(ObturoTestAccess::PendingCodes(obturo), std::vector<uint16_t>{0xC009});
}

TEST_F(ObturoTest, CallbacksForAnUnknownComponentAreAnsweredAndIgnored) {
  EXPECT_EQ(TObturo::ReleaseEventCallback(29, nullptr, 0, 999), 0u);
  EXPECT_EQ(TObturo::CameraEventCallback(1, nullptr, 0, 999), 0u);
  EXPECT_EQ(TObturo::PREventCallback(0, 999, nullptr), 0u);
  EXPECT_TRUE(remoteEvents.empty());
  EXPECT_TRUE(events.empty());
}

}  // namespace
}  // namespace korv
