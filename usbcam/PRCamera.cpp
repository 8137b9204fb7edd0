#include "usbcam/PRCamera.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "camera/sdkapi/PTPDataset.h"
#include "camera/sdkapi/SDKTypes.h"
#include "runtime/ByteReader.h"

namespace korv::usbcam {

namespace {

// Bytes of a value of PTP data type `type`; 0 for none that fits a number.
size_t WidthOfType(uint16_t type) {
  switch (type) {
    case 0x0001:
    case 0x0002: return 1;
    case 0x0003:
    case 0x0004: return 2;
    case 0x0005:
    case 0x0006: return 4;
    default: return 0;
  }
}

std::vector<uint8_t> LittleEndian(uint32_t value, size_t width) {
  std::vector<uint8_t> bytes;
  AppendLittleEndian(bytes, value, width);
  return bytes;
}

}  // namespace

std::vector<uint8_t> EventRecord(std::span<const uint8_t> container) {
  std::vector<uint8_t> record(PREventRecordSize);
  std::copy_n(container.begin(), std::min(container.size(), record.size()), record.begin());
  return record;
}

PRCamera::PRCamera(std::shared_ptr<PTPTransport> transport)
    : Transport(std::move(transport)), Session(*Transport) {}

TSDKStatus PRCamera::Connect() { return OpenAndSetUp(); }

void PRCamera::SetEventCallback(TPREventCallback callback, uint32_t context) {
  EventCallback = callback;
  EventContext = context;
}

TSDKStatus PRCamera::OpenAndSetUp() {
  if (TSDKStatus status = Session.Open(Deadline(TransactionDeadlineMs))) return status;
  // Events on request, in the width the camera gives the property.
  std::vector<uint8_t> desc;
  uint32_t needed = 0;
  const uint32_t code[] = {PTPPropEventEmulationMode};
  if (Read(PTPOpGetDevicePropDesc, code, desc, MaxDatasetSize, needed) == SDKOk) {
    ByteReader reader(desc);
    reader.Skip(2);
    const size_t width = WidthOfType(reader.U16());
    if (!reader.Ok() || width == 0) return StatusNotSupported;
    if (TSDKStatus status = Write(PTPPropEventEmulationMode, LittleEndian(PTPEventsByPollingOnly, width)))
      return status;
  } else if (Session.Broken()) {
    return StatusIncompleteTransfer;
  }
  if (!InReleaseControl) return SDKOk;
  if (TSDKStatus status =
          Session.Transact(PTPOpInitiateReleaseControl, {}, nullptr, nullptr, Deadline(TransactionDeadlineMs)))
    return status;
  return TransferMode ? Write(PRPropCaptureTransferMode, *TransferMode) : SDKOk;
}

TSDKStatus PRCamera::Ready() {
  if (!Session.Broken()) return SDKOk;
  if (TSDKStatus status = Session.Reset()) return status;
  const TSDKStatus status = OpenAndSetUp();
  if (status != SDKOk) Session.MarkBroken();
  return status;
}

TSDKStatus PRCamera::Read(uint16_t operation, std::span<const uint32_t> parameters, std::vector<uint8_t>& data,
                          uint32_t capacity, uint32_t& needed) {
  data.clear();
  needed = 0;
  const uint64_t room = std::min(capacity, MaxDatasetSize);
  bool tooLarge = false;
  const TSDKStatus status = Session.Transact(
      operation, parameters, nullptr,
      [&](std::span<const uint8_t> piece, uint64_t size) {
        needed = static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX));
        tooLarge = size > room;
        if (!tooLarge) data.insert(data.end(), piece.begin(), piece.end());
        return SDKOk;
      },
      Deadline(TransactionDeadlineMs));
  if (status == SDKOk && tooLarge) {
    data.clear();
    return StatusInsufficientBuffer;
  }
  if (status != SDKOk) data.clear();
  return status;
}

TSDKStatus PRCamera::Write(uint16_t code, std::span<const uint8_t> value) {
  const uint32_t parameters[] = {code};
  const std::vector<uint8_t> bytes(value.begin(), value.end());
  return Session.Transact(PTPOpSetDevicePropValue, parameters, &bytes, nullptr, Deadline(TransactionDeadlineMs));
}

TSDKStatus PRCamera::GetDeviceInfo(std::vector<uint8_t>& data, uint32_t capacity, uint32_t& needed) {
  if (TSDKStatus status = Ready()) return status;
  return Read(PTPOpGetDeviceInfo, {}, data, capacity, needed);
}

TSDKStatus PRCamera::GetPropDesc(uint16_t code, std::vector<uint8_t>& data, uint32_t capacity, uint32_t& needed) {
  if (TSDKStatus status = Ready()) return status;
  const uint32_t parameters[] = {code};
  return Read(PTPOpGetDevicePropDesc, parameters, data, capacity, needed);
}

TSDKStatus PRCamera::GetPropValue(uint16_t code, std::vector<uint8_t>& data, uint32_t capacity, uint32_t& needed) {
  if (TSDKStatus status = Ready()) return status;
  const uint32_t parameters[] = {code};
  return Read(PTPOpGetDevicePropValue, parameters, data, capacity, needed);
}

TSDKStatus PRCamera::SetPropValue(uint16_t code, std::span<const uint8_t> value) {
  if (TSDKStatus status = Ready()) return status;
  const TSDKStatus status = Write(code, value);
  if (status == SDKOk && code == PRPropCaptureTransferMode) TransferMode.emplace(value.begin(), value.end());
  return status;
}

TSDKStatus PRCamera::InitiateReleaseControl() { return SwitchReleaseControl(true); }
TSDKStatus PRCamera::TerminateReleaseControl() { return SwitchReleaseControl(false); }

TSDKStatus PRCamera::SwitchReleaseControl(bool on) {
  if (TSDKStatus status = Ready()) return status;
  const TSDKStatus status = Session.Transact(on ? PTPOpInitiateReleaseControl : PTPOpTerminateReleaseControl, {},
                                             nullptr, nullptr, Deadline(TransactionDeadlineMs));
  if (status == SDKOk) InReleaseControl = on;
  return status;
}

TSDKStatus PRCamera::Release() {
  if (!InReleaseControl) return StatusInvalidFunctionCall;
  if (TSDKStatus status = Ready()) return status;
  if (TSDKStatus status =
          Session.Transact(PTPOpInitiateCaptureInMemory, {}, nullptr, nullptr, Deadline(CaptureResponseMs)))
    return status;
  // Pictures the computer gets: one per transfer mode bit 1 (thumbnail) and
  // 2 (picture); before any mode was written, the picture.
  const uint32_t mode = TransferMode ? static_cast<uint32_t>(ByteReader(*TransferMode).Unsigned(TransferMode->size()))
                                     : 2;
  int expected = std::popcount(mode & 3);
  const uint64_t deadline = Deadline(EventWaitMs);
  while (expected > 0) {
    if (Transport->NowMs() >= deadline) return StatusTimeout;
    std::vector<uint8_t> data;
    uint32_t needed = 0;
    if (TSDKStatus status = Read(PTPOpCheckEvent, {}, data, MaxDatasetSize, needed)) return status;
    const auto events = SplitEvents(data);
    if (events.empty()) Transport->SleepMs(PollIntervalMs);
    for (const auto& event : events) {
      const auto header = ParseHeader(event);
      if (header->Code == PREventObjectAdded || header->Code == PREventThumbnailAdded) --expected;
      // Handed over between transactions: the callback may fetch the picture.
      if (EventCallback) EventCallback(0, EventContext, EventRecord(event).data());
    }
  }
  return SDKOk;
}

TSDKStatus PRCamera::GetReleasedData(uint32_t object, uint32_t eventCode, uint32_t blockSize, uint32_t context,
                                     TPRDataCallback callback) {
  if (callback == nullptr || blockSize == 0 ||
      (eventCode != PREventObjectAdded && eventCode != PREventThumbnailAdded))
    return StatusInvalidParameter;
  if (TSDKStatus status = Ready()) return status;
  const size_t blockLimit = std::min(blockSize, MaxBlockSize);
  std::vector<uint8_t> block;
  block.reserve(blockLimit);
  uint64_t total = 0, delivered = 0;
  bool dataCame = false;
  auto hand = [&](const uint8_t* chunk, size_t length) {
    delivered += length;
    uint8_t record[PRDataBlockSize] = {};
    const auto percent = static_cast<uint32_t>(total == 0 ? 100 : delivered * 100 / total);
    const auto length32 = static_cast<uint32_t>(length);
    std::memcpy(record + PRDataProgressOffset, &percent, sizeof percent);
    std::memcpy(record + PRDataLengthOffset, &length32, sizeof length32);
    std::memcpy(record + PRDataPointerOffset, &chunk, sizeof chunk);
    callback(0, 0, context, record);
  };
  const uint32_t parameters[] = {object};
  const TSDKStatus status = Session.Transact(
      PTPOpGetObject, parameters, nullptr,
      [&](std::span<const uint8_t> piece, uint64_t size) {
        dataCame = true;
        total = size;
        while (!piece.empty()) {
          const size_t take = std::min(piece.size(), blockLimit - block.size());
          block.insert(block.end(), piece.begin(), piece.begin() + static_cast<ptrdiff_t>(take));
          piece = piece.subspan(take);
          if (block.size() == blockLimit) {
            hand(block.data(), block.size());
            block.clear();
          }
        }
        return SDKOk;
      },
      Deadline(PictureDeadlineMs));
  if (status != SDKOk) return status;
  if (!dataCame) return StatusIncompleteTransfer;
  if (!block.empty()) hand(block.data(), block.size());
  hand(nullptr, 0);
  return SDKOk;
}

}  // namespace korv::usbcam
