#include "usbcam/PRCamera.h"

#include <algorithm>
#include <cstring>
#include <iostream>

#include "camera/sdkapi/PRDataBlock.h"
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

// The events the library acts on: the picture events, the mode change, the
// alerts, the viewfinder and the power state. Others (0xC00E, 0xC00B, the
// property changes ...) some cameras report on every poll.
bool ActedOn(uint16_t code) {
  constexpr uint16_t codes[] = {PREventObjectAdded, PREventThumbnailAdded, PREventUIChanged,
                                PREventCameraAlert, PREventResetHWError,   PREventViewfinderOff,
                                PREventViewfinderOn, PREventPowerState,    PREventDeviceAlert};
  return std::find(std::begin(codes), std::end(codes), code) != std::end(codes);
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
  if (Read(PTPOpGetDevicePropDesc, code, desc, MaxDatasetSize, needed, Deadline(TransactionDeadlineMs)) == SDKOk) {
    ByteReader reader(desc);
    reader.Skip(2);
    const size_t width = WidthOfType(reader.U16());
    reader.Skip(1 + width);  // read-write flag, factory default
    const uint64_t current = reader.Unsigned(width);
    if (!reader.Ok() || width == 0) return StatusNotSupported;
    // The camera's own value, put back at disconnection (a session reset
    // finds 7 there already).
    if (!OwnEventMode) OwnEventMode = LittleEndian(static_cast<uint32_t>(current), width);
    if (TSDKStatus status = Write(PTPPropEventEmulationMode, LittleEndian(PTPEventsByPollingOnly, width)))
      return status;
  } else if (Session.Broken()) {
    return StatusIncompleteTransfer;
  }
  if (!InReleaseControl) return SDKOk;
  TSDKStatus status =
      Session.Transact(PTPOpInitiateReleaseControl, {}, nullptr, nullptr, Deadline(TransactionDeadlineMs));
  if (status != SDKOk && status != PTPResponseAlreadyInReleaseControl) return status;
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
                          uint32_t capacity, uint32_t& needed, uint64_t deadline) {
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
      deadline);
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
  const TSDKStatus status = Read(PTPOpGetDeviceInfo, {}, data, capacity, needed, Deadline(TransactionDeadlineMs));
  if (status == SDKOk) {
    const auto operations = ParseDeviceInfo(data, DeviceInfoExtent::Operations).Operations;
    RemoteCapture = std::find(operations.begin(), operations.end(), PTPOpInitiateReleaseControl) != operations.end();
  }
  return status;
}

TSDKStatus PRCamera::GetPropDesc(uint16_t code, std::vector<uint8_t>& data, uint32_t capacity, uint32_t& needed) {
  if (TSDKStatus status = Ready()) return status;
  const uint32_t parameters[] = {code};
  return Read(PTPOpGetDevicePropDesc, parameters, data, capacity, needed, Deadline(TransactionDeadlineMs));
}

TSDKStatus PRCamera::GetPropValue(uint16_t code, std::vector<uint8_t>& data, uint32_t capacity, uint32_t& needed) {
  if (TSDKStatus status = Ready()) return status;
  const uint32_t parameters[] = {code};
  return Read(PTPOpGetDevicePropValue, parameters, data, capacity, needed, Deadline(TransactionDeadlineMs));
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
  if (on && !RemoteCapture) return StatusNoRemoteCapture;
  if (TSDKStatus status = Ready()) return status;
  TSDKStatus status = Session.Transact(on ? PTPOpInitiateReleaseControl : PTPOpTerminateReleaseControl, {}, nullptr,
                                       nullptr, Deadline(TransactionDeadlineMs));
  // A camera left in release control (the station restarted, the camera
  // did not) says so; that is what was asked for.
  if (on && status == PTPResponseAlreadyInReleaseControl) status = SDKOk;
  if (status != SDKOk) return status;
  InReleaseControl = on;
  return on ? Drain() : SDKOk;
}

TSDKStatus PRCamera::Close() {
  if (Session.Broken()) return Session.Reset();
  if (InReleaseControl)
    Session.Transact(PTPOpTerminateReleaseControl, {}, nullptr, nullptr, Deadline(TransactionDeadlineMs));
  InReleaseControl = false;
  if (OwnEventMode && *OwnEventMode != LittleEndian(PTPEventsByPollingOnly, OwnEventMode->size()))
    Write(PTPPropEventEmulationMode, *OwnEventMode);
  const TSDKStatus status = Session.Transact(PTPOpCloseSession, {}, nullptr, nullptr, Deadline(TransactionDeadlineMs));
  Session.MarkBroken();  // no transaction after this one
  return status;
}

uint32_t PRCamera::Mode() const {
  // Before any mode was written, the picture to the computer.
  return TransferMode ? static_cast<uint32_t>(ByteReader(*TransferMode).Unsigned(TransferMode->size())) : 2;
}

bool PRCamera::HandOn(std::span<const uint8_t> event) {
  const uint16_t code = ParseHeader(event)->Code;
  if (!ActedOn(code)) {
    if (Unused.insert(code).second) {
      char text[80];
      std::snprintf(text, sizeof text, "PRSDK.DLL: camera event 0x%04X is not acted on (shown once)", code);
      std::cerr << text << std::endl;
    }
    return false;
  }
  // Handed over between transactions: the callback may fetch the picture.
  if (EventCallback) EventCallback(0, EventContext, EventRecord(event).data());
  return true;
}

// A camera may report events for ever: the drain stops after a fixed count
// or time and the operation goes on.
TSDKStatus PRCamera::Drain() {
  const uint64_t end = Deadline(DrainMs);
  for (int taken = 0; taken < MaxDrainedEvents && Transport->NowMs() < end;) {
    std::vector<uint8_t> data;
    uint32_t needed = 0;
    const TSDKStatus status = Read(PTPOpCheckEvent, {}, data, MaxDatasetSize, needed, Deadline(TransactionDeadlineMs));
    // A camera's refusal leaves nothing to drain; a broken session is a fault.
    if (status != SDKOk) return Session.Broken() ? status : SDKOk;
    const auto events = SplitEvents(data);
    if (events.empty()) return SDKOk;
    for (const auto& event : events) {
      ++taken;
      const uint16_t code = ParseHeader(event)->Code;
      if (code != PREventObjectAdded && code != PREventThumbnailAdded) HandOn(event);
    }
  }
  return SDKOk;
}

TSDKStatus PRCamera::Release() {
  if (!InReleaseControl) return StatusInvalidFunctionCall;
  if (TSDKStatus status = Ready()) return status;
  if (TSDKStatus status = Drain()) return status;
  // A camera still busy with the last picture is asked again.
  const uint64_t captureDeadline = Deadline(CaptureResponseMs);
  for (;;) {
    const TSDKStatus status =
        Session.Transact(PTPOpInitiateCaptureInMemory, {}, nullptr, nullptr, captureDeadline);
    if (status == SDKOk) break;
    if (status != PTPResponseDeviceBusy || Transport->NowMs() + BusyRetryMs >= captureDeadline) return status;
    Transport->SleepMs(BusyRetryMs);
  }
  // The release ends with the picture's event (the thumbnail's when only
  // thumbnails come to the computer), whatever came besides.
  const uint32_t mode = Mode();
  if ((mode & 3) == 0) return SDKOk;
  const uint16_t awaited = (mode & 2) != 0 ? PREventObjectAdded : PREventThumbnailAdded;
  const uint64_t deadline = Deadline(EventWaitMs);
  for (bool done = false; !done;) {
    if (Transport->NowMs() >= deadline) return StatusTimeout;
    std::vector<uint8_t> data;
    uint32_t needed = 0;
    if (TSDKStatus status = Read(PTPOpCheckEvent, {}, data, MaxDatasetSize, needed, deadline))
      return status;
    bool news = false;  // an event the library acts on: ask again at once
    for (const auto& event : SplitEvents(data)) {
      const uint16_t code = ParseHeader(event)->Code;
      done = done || code == awaited;
      news = (code == PREventThumbnailAdded && (mode & 1) == 0) || HandOn(event) || news;
    }
    if (!news) Transport->SleepMs(PollIntervalMs);
  }
  return SDKOk;
}

TSDKStatus PRCamera::GetReleasedData(uint32_t object, uint32_t eventCode, uint32_t blockSize, uint32_t context,
                                     TPRDataCallback callback) {
  if (callback == nullptr || blockSize == 0 ||
      (eventCode != PREventObjectAdded && eventCode != PREventThumbnailAdded))
    return StatusInvalidParameter;
  if (TSDKStatus status = Ready()) return status;
  const uint64_t deadline = Deadline(PictureDeadlineMs);
  const uint32_t parameters[] = {object};
  // The size first: a picture too large is refused before any of its bytes
  // is read, and the percent of each block is of the size the camera gave.
  std::vector<uint8_t> info;
  uint32_t needed = 0;
  std::optional<uint64_t> size;
  const TSDKStatus infoStatus = Read(PTPOpGetObjectInfo, parameters, info, MaxDatasetSize, needed, deadline);
  if (infoStatus == SDKOk) {
    ByteReader reader(info);
    reader.Seek(PTPObjectInfoSizeOffset);
    const uint32_t declared = reader.U32();
    if (reader.Ok()) size = declared;
  } else if (Session.Broken()) {
    return infoStatus;
  }  // a camera without ObjectInfo: the data phase tells the size
  if (size && *size > MaxPictureSize) return StatusInsufficientBuffer;
  const size_t blockLimit = std::min(blockSize, MaxBlockSize);
  std::vector<uint8_t> block;
  block.reserve(blockLimit);
  uint64_t total = 0, delivered = 0;
  bool dataCame = false;
  auto hand = [&](const uint8_t* chunk, size_t length) {
    delivered += length;
    uint8_t record[PRDataBlockSize] = {};
    const auto percent = static_cast<uint32_t>(total == 0 ? 100 : std::min<uint64_t>(delivered * 100 / total, 100));
    WritePRDataBlock(record, {percent, static_cast<uint32_t>(length), reinterpret_cast<const char*>(chunk)});
    callback(0, 0, context, record);
  };
  const Feed feed = [&](std::span<const uint8_t> piece, uint64_t phase) {
    dataCame = true;
    total = phase;
    while (!piece.empty()) {
      const size_t take = std::min(piece.size(), blockLimit - block.size());
      block.insert(block.end(), piece.begin(), piece.begin() + static_cast<ptrdiff_t>(take));
      piece = piece.subspan(take);
      if (block.size() == blockLimit) {
        hand(block.data(), block.size());
        block.clear();
      }
    }
  };
  const TSDKStatus status = ReadObject(object, size, feed, deadline);
  if (status != SDKOk) return status;
  if (!dataCame) return StatusIncompleteTransfer;
  if (!block.empty()) hand(block.data(), block.size());
  hand(nullptr, 0);
  return SDKOk;
}

uint32_t PRCamera::OutputSize(uint64_t deadline) {
  if (!Output) {
    std::vector<uint8_t> value;
    uint32_t needed = 0;
    const uint32_t code[] = {PTPPropOutputSize};
    const bool read = Read(PTPOpGetDevicePropValue, code, value, 4, needed, deadline) == SDKOk;
    Output = read ? static_cast<uint32_t>(ByteReader(value).Unsigned(std::min<size_t>(value.size(), 4))) : 0;
  }
  return *Output;
}

// Whole by GetObject, unless the camera sends less than the picture at a
// time; in pieces when that is so or GetObject fails before any byte.
TSDKStatus PRCamera::ReadObject(uint32_t object, std::optional<uint64_t> size, const Feed& feed,
                                uint64_t deadline) {
  const uint32_t output = size ? OutputSize(deadline) : 0;
  if (Session.Broken()) return StatusIncompleteTransfer;
  if (size && output != 0 && *size > output) return ReadInPieces(object, *size, output, feed, deadline);
  const uint32_t parameters[] = {object};
  bool dataCame = false;
  const TSDKStatus status = Session.Transact(
      PTPOpGetObject, parameters, nullptr,
      [&](std::span<const uint8_t> piece, uint64_t phase) {
        dataCame = true;
        feed(piece, size.value_or(phase));
        return SDKOk;
      },
      deadline);
  if (status == SDKOk || dataCame || Session.Broken() || !size) return status;
  return ReadInPieces(object, *size, output != 0 ? output : PartialPieceSize, feed, deadline);
}

TSDKStatus PRCamera::ReadInPieces(uint32_t object, uint64_t size, uint32_t piece, const Feed& feed,
                                  uint64_t deadline) {
  for (uint64_t offset = 0; offset < size;) {
    const auto asked = static_cast<uint32_t>(std::min<uint64_t>(piece, size - offset));
    const uint32_t parameters[] = {object, static_cast<uint32_t>(offset), asked};
    uint64_t came = 0;
    const TSDKStatus status = Session.Transact(
        PTPOpGetPartialObject, parameters, nullptr,
        [&](std::span<const uint8_t> bytes, uint64_t) {
          if (came + bytes.size() > asked) return StatusIncompleteTransfer;  // more than asked
          came += bytes.size();
          feed(bytes, size);
          return SDKOk;
        },
        deadline);
    if (status != SDKOk) return status;
    if (came == 0) return StatusIncompleteTransfer;
    offset += came;
  }
  return SDKOk;
}

}  // namespace korv::usbcam
