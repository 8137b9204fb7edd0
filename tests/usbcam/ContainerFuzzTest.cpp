// Bytes from a camera that follows no rules: a transport whose every answer
// (status, length, container fields, payload) comes from an input string,
// driven through connect, datasets, release and picture transfer. Run on
// random inputs under the sanitizers: nothing may crash, read out of
// bounds or wait past the call's bound, and a transfer that reports
// success has ended with its one call without data.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "camera/sdkapi/PTPDataset.h"
#include "runtime/ByteReader.h"
#include "usbcam/PRCamera.h"

namespace korv::usbcam {
namespace {

class InputPipes final : public PTPTransport {
public:
  explicit InputPipes(std::span<const uint8_t> input) : Input(input) {}

  size_t PacketSize() const override { return 512; }
  Transfer Send(std::span<const uint8_t> container, int timeoutMs) override {
    if (const auto header = ParseHeader(container); header && header->Type == 1) {
      Operation = header->Code;
      Transaction = header->Transaction;
    }
    DataSent = false;
    switch (Next() % 64) {
      case 0: return Wait(timeoutMs);
      case 1: return {TransferStatus::Failed, 0};
      case 2: return {TransferStatus::Gone, 0};
      default: return {TransferStatus::Ok, container.size()};
    }
  }
  // Mostly whole containers (served across reads), sometimes anything.
  Transfer Receive(std::span<uint8_t> buffer, int timeoutMs) override {
    if (Input.Remaining() == 0) return Wait(timeoutMs);
    if (Pending.empty()) {
      // After a data phase the response is likely.
      const uint8_t kind = DataSent && Next() % 8 != 0 ? 4 : Next() % 16;
      switch (kind) {
        case 0: return Wait(timeoutMs);
        case 1: return {TransferStatus::Failed, 0};
        case 2: return {TransferStatus::Ok, 0};
        case 3:
          Pending.resize(Input.U16() % (buffer.size() + 1));
          for (uint8_t& b : Pending) b = Next();
          break;
        case 4: case 5: case 6: case 7: case 8: {  // a response, mostly OK to the transaction in progress
          const uint32_t parameter[] = {Next()};
          Pending = BuildContainer(PTPType::Response, Next() % 8 == 0 ? Input.U16() : PTPResponseOK,
                                   Transaction + (Next() % 16 == 0), std::span(parameter).first(Next() % 2));
          break;
        }
        default: {  // a data phase, its length sometimes a lie
          std::vector<uint8_t> payload(Input.U16() % 3000);
          if (Operation == PTPOpCheckEvent && Next() % 2) {
            const uint32_t object[] = {Next()};
            payload = BuildContainer(PTPType::Event, Next() % 2 ? 0xC008 : 0xC009, 0, object);
          } else if (Operation == PTPOpGetDevicePropDesc && payload.size() >= 4) {
            payload[2] = Next() % 8;  // the data type: often one with a width
          }
          Pending = BuildDataContainer(Operation, Transaction, payload);
          DataSent = true;
          if (Next() % 8 == 0) Pending.resize(Input.U16() % (Pending.size() + 1));
        }
      }
    }
    // One transfer's worth: whole packets, or a short cut.
    size_t length = std::min(Pending.size(), buffer.size());
    if (Next() % 8 == 0) length = std::min(length, size_t{Input.U16()});
    std::copy_n(Pending.begin(), length, buffer.begin());
    Pending.erase(Pending.begin(), Pending.begin() + static_cast<ptrdiff_t>(length));
    return {TransferStatus::Ok, length};
  }
  TransferStatus Reset() override { return Next() % 4 == 0 ? TransferStatus::Failed : TransferStatus::Ok; }
  uint64_t NowMs() override { return Clock; }
  void SleepMs(int ms) override { Clock += static_cast<uint64_t>(ms); }

private:
  uint8_t Next() { return Input.Remaining() > 0 ? Input.U8() : 0; }
  Transfer Wait(int ms) {
    Clock += static_cast<uint64_t>(ms);
    return {TransferStatus::Timeout, 0};
  }
  ByteReader Input;
  uint64_t Clock = 0;
  uint16_t Operation = 0;
  uint32_t Transaction = 0;
  std::vector<uint8_t> Pending;
  bool DataSent = false;
};

int EndCalls = 0;
size_t LargestBlock = 0;
TSDKStatus TakeBlock(uint32_t, uint32_t, uint32_t, const void* block) {
  uint32_t length = 0;
  std::memcpy(&length, static_cast<const uint8_t*>(block) + PRDataLengthOffset, 4);
  if (length == 0) ++EndCalls;
  LargestBlock = std::max<size_t>(LargestBlock, length);
  return 0;
}
uint32_t LastObject = 0;
TSDKStatus KeepEvent(uint32_t, uint32_t, const void* record) {
  std::memcpy(&LastObject, static_cast<const uint8_t*>(record) + PREventObjectHandleOffset, 4);
  return 0;
}

// Runs the library's calls against one input; each within its bound.
void Drive(std::span<const uint8_t> input) {
  auto pipes = std::make_shared<InputPipes>(input);
  PRCamera camera(pipes);
  // Any call may first reset and reopen a broken session (5 transactions).
  constexpr uint64_t Recovery = 5 * TransactionDeadlineMs;
  auto bounded = [&](uint64_t bound, auto call) {
    const uint64_t start = pipes->NowMs();
    const TSDKStatus status = call();
    EXPECT_LE(pipes->NowMs() - start, bound + Recovery);
    return status;
  };
  std::vector<uint8_t> data;
  uint32_t needed = 0;
  camera.SetEventCallback(KeepEvent, 0);
  bounded(Recovery, [&] { return camera.Connect(); });
  bounded(TransactionDeadlineMs, [&] { return camera.GetDeviceInfo(data, 4096, needed); });
  EXPECT_LE(data.size(), 4096u);
  ParseDeviceInfo(data, DeviceInfoExtent::DeviceProperties);
  bounded(TransactionDeadlineMs, [&] { return camera.GetPropDesc(PRPropZoomPosition, data, 1 << 20, needed); });
  ParseRangePropDesc(data, 2);
  const uint8_t both[] = {3, 0};
  bounded(TransactionDeadlineMs, [&] { return camera.SetPropValue(PRPropCaptureTransferMode, both); });
  bounded(TransactionDeadlineMs, [&] { return camera.InitiateReleaseControl(); });
  bounded(CaptureResponseMs + EventWaitMs + TransactionDeadlineMs, [&] { return camera.Release(); });
  EndCalls = 0;
  LargestBlock = 0;
  const TSDKStatus fetched = bounded(
      PictureDeadlineMs, [&] { return camera.GetReleasedData(LastObject, PREventObjectAdded, 700, 0, TakeBlock); });
  EXPECT_EQ(EndCalls, fetched == SDKOk ? 1 : 0);
  EXPECT_LE(LargestBlock, 700u);
}

TEST(ContainerFuzzTest, RandomCameraBytesNeverCrashHangOrEndATransferFalsely) {
  std::mt19937 random(20261208);
  for (int run = 0; run < 1500; ++run) {
    SCOPED_TRACE(run);
    std::vector<uint8_t> input(random() % 6000);
    for (uint8_t& b : input) b = static_cast<uint8_t>(random());
    Drive(input);
    for (const auto& piece : SplitEvents(input)) EXPECT_GE(piece.size(), PTPHeaderSize);
    ParseParameters(input);
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace korv::usbcam
