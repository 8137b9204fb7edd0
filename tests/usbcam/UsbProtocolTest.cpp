// The PTP layers of the USB camera library against the scripted device:
// the containers that cross the pipes (checked as data from the device's
// transcript), pictures fetched whole in bounded blocks, and every fault
// ending in a clear status within its bound, after which the camera works
// again.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "camera/sdkapi/PTPDataset.h"
#include "usbcam/PRCamera.h"
#include "tests/usbcam/support/ScriptedDevice.h"

namespace korv::usbcam {
namespace {

struct Connected {
  std::shared_ptr<ScriptedDevice> Device;
  std::unique_ptr<PRCamera> Camera;
};

Connected Connect(const std::string& script) {
  uint32_t badLine = 0;
  auto parsed = ParseDeviceScript(script, badLine);
  if (!parsed) throw std::runtime_error("bad script line " + std::to_string(badLine));
  Connected c{std::make_shared<ScriptedDevice>(*parsed), nullptr};
  c.Camera = std::make_unique<PRCamera>(c.Device);
  if (c.Camera->Connect() != SDKOk) throw std::runtime_error("connect failed");
  return c;
}

// Transcript lines that start with `prefix`.
std::vector<std::string> Lines(const ScriptedDevice& device, const std::string& prefix) {
  std::vector<std::string> lines;
  for (const auto& line : device.Transcript())
    if (line.rfind(prefix, 0) == 0) lines.push_back(line);
  return lines;
}

// The numbers of a transcript line, after its first word.
std::vector<uint64_t> Numbers(const std::string& line) {
  std::istringstream in(line);
  std::string word;
  std::vector<uint64_t> numbers;
  in >> word;
  while (in >> word)
    if (isdigit(static_cast<unsigned char>(word[0]))) numbers.push_back(std::stoull(word, nullptr, 0));
  return numbers;
}

// What a data callback got: the blocks and the calls without data.
struct Received {
  std::vector<uint8_t> Bytes;
  std::vector<uint32_t> BlockSizes;
  std::vector<uint32_t> Percents;
  int EndCalls = 0;
};
Received* Sink = nullptr;

TSDKStatus TakeBlock(uint32_t, uint32_t, uint32_t, const void* block) {
  uint32_t percent = 0, length = 0;
  const uint8_t* chunk = nullptr;
  std::memcpy(&percent, static_cast<const uint8_t*>(block) + PRDataProgressOffset, 4);
  std::memcpy(&length, static_cast<const uint8_t*>(block) + PRDataLengthOffset, 4);
  std::memcpy(&chunk, static_cast<const uint8_t*>(block) + PRDataPointerOffset, sizeof chunk);
  if (length == 0) ++Sink->EndCalls;
  else Sink->Bytes.insert(Sink->Bytes.end(), chunk, chunk + length);
  if (length > 0) Sink->BlockSizes.push_back(length);
  Sink->Percents.push_back(percent);
  return 0;
}

std::vector<std::vector<uint8_t>> Events;
TSDKStatus KeepEvent(uint32_t, uint32_t, const void* record) {
  const auto* bytes = static_cast<const uint8_t*>(record);
  Events.emplace_back(bytes, bytes + PREventRecordSize);
  return 0;
}

uint32_t Word(const std::vector<uint8_t>& bytes, size_t at, size_t width) {
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) value |= uint32_t{bytes[at + i]} << (8 * i);
  return value;
}

// Enters release control with pictures to the computer and releases once;
// the object handle of the picture announced.
uint32_t ReleaseOne(PRCamera& camera) {
  Events.clear();
  camera.SetEventCallback(KeepEvent, 7);
  const uint8_t pictureToComputer[] = {2, 0};
  EXPECT_EQ(camera.InitiateReleaseControl(), SDKOk);
  EXPECT_EQ(camera.SetPropValue(PRPropCaptureTransferMode, pictureToComputer), SDKOk);
  EXPECT_EQ(camera.Release(), SDKOk);
  return Events.empty() ? 0 : Word(Events.back(), PREventObjectHandleOffset, 4);
}

TEST(UsbProtocolTest, PicturesArriveWholeInBlocksNoLargerThanAskedWithTheReadsTheSizeCalls) {
  // Container = 12 + size bytes; 512-byte packets, reads of 64 KiB.
  struct Case {
    uint32_t Size, BlockSize;
    std::vector<std::string> Reads;  // the bulk-in reads of the data phase and what follows
  };
  const Case cases[] = {
      {0, 100000, {"read 65536 12", "read 65536 12"}},
      {500, 100000, {"read 65536 512", "read 65536 12"}},  // one whole packet, then its zero-length packet
      {512 * 3, 1000, {"read 65536 1548", "read 65536 12"}},
      {65524, 100000, {"read 65536 65536", "read 65536 0", "read 65536 12"}},  // full read: the ZLP is read apart
      {131060, 100000, {"read 65536 65536", "read 65536 65536", "read 65536 0", "read 65536 12"}},
      {100000, 100000, {"read 65536 65536", "read 34816 34476", "read 65536 12"}},
      {100001, 4096, {"read 65536 65536", "read 34816 34477", "read 65536 12"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Size);
    auto [device, camera] = Connect("eventdelay 0\npictures " + std::to_string(c.Size) + "\n");
    const uint32_t object = ReleaseOne(*camera);
    Received got;
    Sink = &got;
    ASSERT_EQ(camera->GetReleasedData(object, PREventObjectAdded, c.BlockSize, 0, TakeBlock), SDKOk);
    const auto& lines = device->Transcript();
    const size_t before = std::find(lines.begin(), lines.end(), Lines(*device, "cmd 0x1009").back()) - lines.begin();
    EXPECT_EQ(got.Bytes, PatternPicture(c.Size, 0));
    EXPECT_EQ(got.EndCalls, 1);
    for (uint32_t size : got.BlockSizes) EXPECT_LE(size, c.BlockSize);
    EXPECT_EQ(got.Percents.back(), 100u);
    std::vector<std::string> reads;
    for (size_t i = before; i < device->Transcript().size(); ++i)
      if (device->Transcript()[i].rfind("read", 0) == 0) reads.push_back(device->Transcript()[i]);
    EXPECT_EQ(reads, c.Reads);
  }
}

TEST(UsbProtocolTest, TransactionIdsRiseFromTheSessionAndEachOperationGoesOutOnce) {
  auto [device, camera] = Connect("eventdelay 2\n");
  const uint32_t object = ReleaseOne(*camera);
  Received got;
  Sink = &got;
  ASSERT_EQ(camera->GetReleasedData(object, PREventObjectAdded, 100000, 0, TakeBlock), SDKOk);

  std::vector<uint64_t> operations, transactions;
  for (const auto& line : Lines(*device, "cmd ")) {
    const auto numbers = Numbers(line);
    operations.push_back(numbers[0]);
    transactions.push_back(numbers[1]);
  }
  // Open, event emulation (descriptor, set), release control and what the
  // camera queued, transfer mode, the queue again, capture, two empty polls
  // and the one that announces, the picture's size, the camera's output
  // size and the picture.
  const std::vector<uint64_t> expected{0x1002, 0x1014, 0x1016, 0x9008, 0x9013, 0x1016, 0x9013,
                                       0x901A, 0x9013, 0x9013, 0x9013, 0x1008, 0x1015, 0x1009};
  EXPECT_EQ(operations, expected);
  for (size_t i = 0; i < transactions.size(); ++i) EXPECT_EQ(transactions[i], i) << i;
  // Sets send exactly the value bytes: event emulation 7 as the 16-bit
  // value its descriptor declares, the transfer mode as given.
  EXPECT_EQ(Lines(*device, "dataout "),
            (std::vector<std::string>{"dataout 0x1016 tid 2 len 14", "dataout 0x1016 tid 5 len 14"}));
  ASSERT_EQ(Events.size(), 1u);
  EXPECT_EQ(Word(Events[0], PREventCodeOffset, 2), PREventObjectAdded);
  EXPECT_EQ(Word(Events[0], 4, 2), 4u);  // an event container
}

TEST(UsbProtocolTest, DatasetsComeByteIdenticalAndATooSmallBufferIsRefusedWithTheSizeNeeded) {
  auto [device, camera] = Connect("property 0xD008 1 2 0 2 7\n");
  std::vector<uint8_t> data;
  uint32_t needed = 0;
  ASSERT_EQ(camera->GetDeviceInfo(data, 1 << 20, needed), SDKOk);
  const auto info = ParseDeviceInfo(data, DeviceInfoExtent::DeviceProperties);
  EXPECT_NE(std::find(info.Operations.begin(), info.Operations.end(), 0x9008), info.Operations.end());
  const size_t whole = data.size();
  EXPECT_EQ(Lines(*device, "data 0x1001").back(), "data 0x1001 tid 3 len " + std::to_string(whole + 12));

  EXPECT_EQ(camera->GetDeviceInfo(data, static_cast<uint32_t>(whole - 1), needed), StatusInsufficientBuffer);
  EXPECT_TRUE(data.empty());
  EXPECT_EQ(needed, whole);

  ASSERT_EQ(camera->GetPropDesc(PRPropImageSize, data, 1 << 20, needed), SDKOk);
  EXPECT_EQ(ParseEnumerationPropDesc(data, 1).Values, (std::vector<uint32_t>{0, 2, 7}));
  ASSERT_EQ(camera->GetPropValue(PRPropImageSize, data, 1, needed), SDKOk);
  EXPECT_EQ(data, std::vector<uint8_t>{2});
  EXPECT_EQ(camera->GetPropValue(PRPropBatteryLevel, data, 2, needed), StatusInsufficientBuffer);
  EXPECT_EQ(needed, 4u);
}

TEST(UsbProtocolTest, EachFaultGivesAClearStatusWithinItsBoundAndTheCameraWorksAgainAfterIt) {
  struct Case {
    const char* Script;
    const char* Operation;
    TSDKStatus Status;
    uint64_t BoundMs;
    const char* Never = "none";  // a transcript line that must not come
    bool Abandoned = false;      // cancelled, with the camera asked until ready
  };
  const Case cases[] = {
      // Past its deadline a transaction is cancelled; the status comes
      // within the deadline plus the bounded wait for the camera.
      {"latency 0x901A 31000", "release", StatusTimeout, DrainMs + CaptureResponseMs, "none", true},
      {"latency 0x1015 10001", "value", StatusTimeout, TransactionDeadlineMs, "none", true},
      {"gap 121000", "fetch", StatusTimeout, PictureDeadlineMs, "none", true},
      {"infosize 268435445", "fetch", StatusInsufficientBuffer, TransactionDeadlineMs, "cmd 0x1009"},
      {"respond 0x9008 0x2019", "release control", 0x2019, TransactionDeadlineMs},
      {"respond 0x901A 0x2005", "release", 0x2005, TransactionDeadlineMs},
      {"shortdata 0x1009", "fetch", StatusIncompleteTransfer, TransactionDeadlineMs},
      {"wrongtid 0x1015", "value", StatusWrongTransaction, TransactionDeadlineMs},
      {"noresponse 0x1015", "value", StatusTimeout, TransactionDeadlineMs, "none", true},
      {"silent", "release", StatusTimeout, DrainMs + CaptureResponseMs + EventWaitMs},
      {"gone 0x1009 3000", "fetch", StatusCameraGone, PictureDeadlineMs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Script);
    auto [device, camera] = Connect(std::string("eventdelay 0\n") + c.Script + "\n");
    const uint8_t pictureToComputer[] = {2, 0};
    uint32_t object = 0;
    if (std::string(c.Operation) != "release control") {
      ASSERT_EQ(camera->InitiateReleaseControl(), SDKOk);
      ASSERT_EQ(camera->SetPropValue(PRPropCaptureTransferMode, pictureToComputer), SDKOk);
    }
    if (std::string(c.Operation) == "fetch") object = ReleaseOne(*camera);
    std::vector<uint8_t> data;
    uint32_t needed = 0;
    Received got;
    Sink = &got;
    const uint64_t start = device->NowMs();
    const std::string operation = c.Operation;
    const TSDKStatus status = operation == "release control" ? camera->InitiateReleaseControl()
                              : operation == "release"       ? camera->Release()
                              : operation == "value"         ? camera->GetPropValue(PRPropImageSize, data, 1, needed)
                                                     : camera->GetReleasedData(object, PREventObjectAdded, 100000, 0,
                                                                               TakeBlock);
    EXPECT_EQ(status, c.Status);
    EXPECT_LE(device->NowMs() - start, c.BoundMs + AbandonMs);
    EXPECT_EQ(got.EndCalls, 0);
    EXPECT_TRUE(Lines(*device, c.Never).empty());
    if (c.Abandoned) {
      const auto statuses = Lines(*device, "status ");
      EXPECT_FALSE(Lines(*device, "cancel tid ").empty());
      EXPECT_TRUE(!statuses.empty() && statuses.back() == "status 0x2001");
    }
    // The next call: the camera again, or at once the same "gone".
    const TSDKStatus next = camera->GetPropValue(PRPropImageSize, data, 1, needed);
    EXPECT_EQ(next, c.Status == StatusCameraGone ? StatusCameraGone : SDKOk);
  }
}

}  // namespace
}  // namespace korv::usbcam

namespace korv::usbcam {
namespace {

// What real cameras are documented to do, each in a script: a release
// control, one release and one fetch work, with one picture taken and the
// events the component should see.
TEST(UsbProtocolTest, CamerasBehavingAsDocumentedGiveOneReleaseAndOnePicture) {
  struct Case {
    std::string Script;
    uint8_t Mode;                             // capture transfer mode
    std::vector<uint32_t> AtControl, AtRelease;  // event codes handed on
    std::vector<std::string> Seen;            // transcript lines, in this order
    uint32_t LastPercent = 100;
  };
  const Case cases[] = {
      {"latency 0x901A 15000", 2, {}, {0xC008}, {}},                // a long exposure
      {"latency 0x1016 9900\nlatency 0x9013 9900 3", 2, {}, {0xC008}, {}},
      {"gap 20000", 2, {}, {0xC008}, {}},                           // a pause inside every data phase
      {"latency 0x1009 100000\ngap 19000", 2, {}, {0xC008}, {}},
      {"respond 0x9008 0xA009", 2, {}, {0xC008}, {"resp 0xA009 tid 3"}},
      {"modeevent\nstale 0xC008 2\nstale 0xC009", 2, {0xC00C}, {0xC008}, {}},
      {"respond 0x901A 0x2019 3", 2, {}, {0xC008}, {"resp 0x2019", "resp 0x2019", "resp 0x2019", "resp 0x2001"}},
      {"onlyfull", 3, {}, {0xC008}, {}},
      {"", 3, {}, {0xC009, 0xC008}, {}},                           // also the thumbnail: both handed on
      {"onlyfull\neventdelay 0", 2, {}, {0xC008}, {"cmd 0x1008", "cmd 0x1009"}},
      {"infosize 200000", 2, {}, {0xC008}, {}, 50},                 // the percent is of the size ObjectInfo gave
      {"stall 0x1009", 2, {}, {0xC008}, {"cmd 0x1009", "stall", "clear in"}},
      {"stall 0x9008", 2, {}, {0xC008}, {"cmd 0x9008", "stall", "clear in"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Script);
    auto [device, camera] = Connect(c.Script + "\npictures 100000\n");
    Events.clear();
    camera->SetEventCallback(KeepEvent, 7);
    auto codesFrom = [](size_t from) {
      std::vector<uint32_t> codes;
      for (size_t i = from; i < Events.size(); ++i) codes.push_back(Word(Events[i], PREventCodeOffset, 2));
      return codes;
    };
    ASSERT_EQ(camera->InitiateReleaseControl(), SDKOk);
    EXPECT_EQ(codesFrom(0), c.AtControl);
    const uint8_t mode[] = {c.Mode, 0};
    ASSERT_EQ(camera->SetPropValue(PRPropCaptureTransferMode, mode), SDKOk);
    const size_t before = Events.size();
    ASSERT_EQ(camera->Release(), SDKOk);
    EXPECT_EQ(codesFrom(before), c.AtRelease);
    EXPECT_EQ(device->PicturesTaken(), 1u);
    Received got;
    Sink = &got;
    ASSERT_FALSE(Events.empty());
    ASSERT_EQ(camera->GetReleasedData(Word(Events.back(), PREventObjectHandleOffset, 4), PREventObjectAdded, 100000,
                                      0, TakeBlock),
              SDKOk);
    EXPECT_EQ(got.Bytes, PatternPicture(100000, 0));
    EXPECT_EQ(got.Percents.back(), c.LastPercent);
    size_t at = 0;
    for (const auto& line : device->Transcript())
      if (at < c.Seen.size() && line.rfind(c.Seen[at], 0) == 0) ++at;
    EXPECT_EQ(at, c.Seen.size()) << "missing from the transcript: " << c.Seen[std::min(at, c.Seen.size() - 1)];
    EXPECT_EQ(Lines(*device, "reset").size(), 0u) << "the session never broke";
  }
}

// The camera's own event emulation (4 on a G9) goes back before the session
// closes.
TEST(UsbProtocolTest, ClosingEndsReleaseControlAndTheSession) {
  auto [device, camera] = Connect("");
  ReleaseOne(*camera);
  EXPECT_EQ(camera->Close(), SDKOk);
  const auto commands = Lines(*device, "cmd ");
  ASSERT_GE(commands.size(), 3u);
  EXPECT_EQ(commands[commands.size() - 3].substr(0, 10), "cmd 0x9009");
  EXPECT_EQ(commands[commands.size() - 2], "cmd 0x1016 tid " + std::to_string(commands.size() - 2) + " p 0xD045");
  EXPECT_EQ(commands.back().substr(0, 10), "cmd 0x1003");
  const auto data = Lines(*device, "dataout ");
  EXPECT_EQ(data.back(), "dataout 0x1016 tid " + std::to_string(commands.size() - 2) + " len 14");
}

// A camera that sends less than a picture at a time (0xD02E), or none whole
// (GetObject refused), gives it in pieces by GetPartialObject; the caller's
// blocks and percentages are those of a whole read.
TEST(UsbProtocolTest, PicturesComeInPiecesWhereTheCameraSendsLessThanThemOrNoneWhole) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"property 0xD02E 4 20480", {"0x101B p 0x1000 0x0 0x5000", "0x101B p 0x1000 0x5000 0x5000",
                                   "0x101B p 0x1000 0xA000 0x2350"}},
      {"without 0x1009", {"0x1009 p 0x1000", "0x101B p 0x1000 0x0 0xC350"}},
  };
  for (const auto& [line, reads] : cases) {
    SCOPED_TRACE(line);
    auto [device, camera] = Connect("eventdelay 0\npictures 50000\n" + line + "\n");
    const uint32_t object = ReleaseOne(*camera);
    Received got;
    Sink = &got;
    ASSERT_EQ(camera->GetReleasedData(object, PREventObjectAdded, 8192, 0, TakeBlock), SDKOk);
    std::vector<std::string> fetches;
    for (const auto& command : Lines(*device, "cmd 0x10"))
      if (command.find("0x1009") != std::string::npos || command.find("0x101B") != std::string::npos)
        fetches.push_back(command.substr(4, 6) + command.substr(command.find(" p ")));
    EXPECT_EQ(fetches, reads);
    EXPECT_EQ(got.Bytes, PatternPicture(50000, 0));
    EXPECT_EQ(got.BlockSizes, (std::vector<uint32_t>{8192, 8192, 8192, 8192, 8192, 8192, 848}));
    EXPECT_EQ(got.Percents, (std::vector<uint32_t>{16, 32, 49, 65, 81, 98, 100, 100}));
  }
}

// A camera that reports an event on every poll: the drain stops after its
// bound, the events the library does not act on are not handed on, and
// the picture still comes.
TEST(UsbProtocolTest, ACameraThatReportsEventsForEverStillCapturesAndHandsOverItsPicture) {
  auto [device, camera] = Connect("eventdelay 2\nflood 0xC00E\n");
  const uint32_t object = ReleaseOne(*camera);
  ASSERT_EQ(Events.size(), 1u);
  EXPECT_EQ(Word(Events[0], PREventCodeOffset, 2), PREventObjectAdded);
  EXPECT_LE(Lines(*device, "cmd 0x9013").size(), 2u * MaxDrainedEvents + 3);
  Received got;
  Sink = &got;
  ASSERT_EQ(camera->GetReleasedData(object, PREventObjectAdded, 100000, 0, TakeBlock), SDKOk);
  EXPECT_EQ(got.Bytes, PatternPicture(100000, 0));
}

}  // namespace
}  // namespace korv::usbcam
