// Traces: a camera recorded by RecordingTransport and played back by the
// scripted device's "replay" statement answers as recorded and notices a
// library that asks something else. Each case drives the camera as
// usbcam_try does (scripts/usb-camera-try), which recorded traces/*.trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "camera/sdkapi/PTPDataset.h"
#include "usbcam/PRCamera.h"
#include "usbcam/PTPTrace.h"
#include "usbcam/RecordingTransport.h"
#include "tests/usbcam/support/ScriptedDevice.h"
#include "tests/support/TempDir.h"

namespace korv::usbcam {
namespace {

struct Outcome {
  std::vector<TSDKStatus> Statuses;
  std::vector<uint8_t> Picture;
  uint64_t EndMs = 0;  // on the camera's clock: the recorded delays replayed
  bool operator==(const Outcome&) const = default;
};

std::vector<uint32_t> Announced;
std::vector<uint8_t>* Fetched = nullptr;

// Connection, DeviceInfo, release control with the picture to the computer
// (`mode`), one release, the picture of its first 0xC008, release control
// ended, disconnected; a step before the release that fails ends it there.
void Steps(PRCamera& camera, uint8_t mode, Outcome& outcome) {
  Announced.clear();
  Fetched = &outcome.Picture;
  auto step = [&](TSDKStatus status) { return outcome.Statuses.push_back(status), status == SDKOk; };
  std::vector<uint8_t> info;
  uint32_t needed = 0;
  if (!step(camera.Connect()) || !step(camera.GetDeviceInfo(info, PRDatasetBufferSize, needed))) return;
  camera.SetEventCallback([](uint32_t, uint32_t, const void* record) -> TSDKStatus {
    uint16_t code = 0;
    uint32_t object = 0;
    std::memcpy(&code, static_cast<const uint8_t*>(record) + PREventCodeOffset, 2);
    std::memcpy(&object, static_cast<const uint8_t*>(record) + PREventObjectHandleOffset, 4);
    if (code == PREventObjectAdded) Announced.push_back(object);
    return 0;
  }, 0);
  const uint8_t toComputer[] = {mode, 0};
  if (!step(camera.InitiateReleaseControl()) || !step(camera.SetPropValue(PRPropCaptureTransferMode, toComputer)))
    return;
  if (step(camera.Release()) && !Announced.empty())
    outcome.Statuses.push_back(camera.GetReleasedData(
        Announced.front(), PREventObjectAdded, PRTransferBlockSize, 0,
        [](uint32_t, uint32_t, uint32_t, const void* block) -> TSDKStatus {
          uint32_t length = 0;
          const uint8_t* chunk = nullptr;
          std::memcpy(&length, static_cast<const uint8_t*>(block) + PRDataLengthOffset, 4);
          std::memcpy(&chunk, static_cast<const uint8_t*>(block) + PRDataPointerOffset, sizeof chunk);
          if (length > 0) Fetched->insert(Fetched->end(), chunk, chunk + length);
          return 0;
        }));
  outcome.Statuses.push_back(camera.TerminateReleaseControl());
  outcome.Statuses.push_back(camera.Close());
}

Outcome Drive(const std::shared_ptr<PTPTransport>& transport, uint8_t mode = 2) {
  Outcome outcome;
  {
    PRCamera camera(transport);
    Steps(camera, mode, outcome);
  }
  outcome.EndMs = transport->NowMs();
  return outcome;
}

std::shared_ptr<ScriptedDevice> Device(const std::string& script) {
  uint32_t badLine = 0;
  auto parsed = ParseDeviceScript(script, badLine);
  EXPECT_TRUE(parsed) << "bad line " << badLine;
  return std::make_shared<ScriptedDevice>(parsed ? *parsed : DeviceScript{});
}

// The replay's own notes in the device's transcript.
std::vector<std::string> ReplayNotes(const ScriptedDevice& device) {
  std::vector<std::string> notes;
  for (const auto& line : device.Transcript())
    if (line.rfind("replay: ", 0) == 0) notes.push_back(line);
  return notes;
}

bool AllAsked(const std::vector<std::string>& notes) {
  auto has = [&](const char* text) {
    return std::ranges::any_of(notes, [&](const std::string& note) { return note.find(text) != std::string::npos; });
  };
  return has("questions of the trace asked") && !has("differs") && !has("past the end");
}

TEST(TraceReplayTest, ARecordedCameraAnswersAsItDidWhenTheLibraryAsksTheSame) {
  const char* scripts[] = {"pictures 3000",           "pictures 2036\npacket 64",   "pictures 3000\nnozlp\npacket 100",
                           "respond 0x901A 0x2019",   "shortdata 0x1009",          "wrongtid 0x1015",
                           "noresponse 0x9013",       "gone 0x1009 1024",          "eventdelay 40",
                           "stall 0x1009",            "latency 0x1015 12000",      "latency 0x901A 6000\ngap 20000"};
  for (const char* script : scripts) {
    SCOPED_TRACE(script);
    test::TempDir dir;
    const Outcome recorded = Drive(std::make_shared<RecordingTransport>(Device(script), dir.file("t"), "test"));
    auto replayed = Device("replay " + dir.file("t"));
    EXPECT_EQ(Drive(replayed), recorded);
    EXPECT_TRUE(AllAsked(ReplayNotes(*replayed))) << testing::PrintToString(ReplayNotes(*replayed));
  }
}

TEST(TraceReplayTest, TheTracesOfTheFolderReplay) {
  for (const auto& file : std::filesystem::directory_iterator(KORV_TRACES_DIR)) {
    if (file.path().extension() != ".trace" || file.path().stem() == "station") continue;
    SCOPED_TRACE(file.path().filename().string());
    auto replayed = Device("replay " + file.path().string());
    Drive(replayed);
    EXPECT_TRUE(AllAsked(ReplayNotes(*replayed))) << testing::PrintToString(ReplayNotes(*replayed));
  }
}

TEST(TraceReplayTest, AQuestionTheCameraWasNotAskedIsReportedAndTheCameraGoes) {
  auto replayed = Device("replay " KORV_TRACES_DIR "/picture.trace");
  const Outcome outcome = Drive(replayed, 3);  // thumbnail and picture
  EXPECT_EQ(outcome.Statuses.back(), StatusCameraGone);
  const auto notes = ReplayNotes(*replayed);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find("differs at byte 12: expected data 0x1016 tid"),
            std::string::npos) << notes[0];
}

TEST(TraceReplayTest, ATraceLineThatCanNotBeReadIsRefusedByItsNumber) {
  const char* lines[] = {"packet 0",
                         "send 0 0 5000 ok 1 0c0",                        // odd hex
                         "send 0 0 5000 ok 3 0c00",                       // more moved than sent
                         "recv 0 0 5000 512 ok 3 0c00",                   // length and bytes differ
                         "recv 0 0 5000 1 ok 2 0c00",                     // more than asked
                         "recv 0 0 5000 512 late 0 -",                    // unknown status
                         "recv 0 0 5000 512 ok 2 0g00",                   // not hex
                         "clear 0 0 sideways ok", "cancel 0 0 ok", "status 0 0", "reset 0 0 ok extra", "pause 0 0"};
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    uint32_t badLine = 0;
    EXPECT_FALSE(ParseTrace(std::string("# a trace\npacket 512\n") + line + "\n", badLine));
    EXPECT_EQ(badLine, 3u);
  }
}

}  // namespace
}  // namespace korv::usbcam
