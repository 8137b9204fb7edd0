// A transport that writes everything crossing the pipes of another one to a
// trace file (PTPTrace.h), for turning a user's camera into a test:
// KORV_USB_RECORD=<file> makes the library record every camera it connects
// (scripts/usb-camera-try --record FILE). Each line is written as it
// happens, so a trace survives a camera that hangs the program.
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

#include "usbcam/PTPTrace.h"
#include "usbcam/PTPTransport.h"

namespace korv::usbcam {

class RecordingTransport final : public PTPTransport {
public:
  // Starts the trace `path` anew with `title` as its first comment.
  RecordingTransport(std::shared_ptr<PTPTransport> recorded, const std::string& path, const std::string& title);

  size_t PacketSize() const override { return Recorded->PacketSize(); }
  Transfer Send(std::span<const uint8_t> container, int timeoutMs) override;
  Transfer Receive(std::span<uint8_t> buffer, int timeoutMs) override;
  TransferStatus Reset() override;
  TransferStatus ClearStall(Pipe pipe) override;
  TransferStatus Cancel(uint32_t transaction) override;
  uint16_t DeviceStatus() override;
  uint64_t NowMs() override { return Recorded->NowMs(); }
  void SleepMs(int ms) override { Recorded->SleepMs(ms); }

private:
  void Write(const TraceEntry& entry, const std::string& comment);
  // Records a class request or stall clearing that `ask` makes, with its
  // value (pipe, transaction) and the status or answer it gets.
  template <class Ask>
  auto Request(TraceKind kind, uint32_t value, Ask ask);
  // What the bytes read are, following the containers through the reads.
  std::string DescribeIncoming(std::span<const uint8_t> bytes);

  std::shared_ptr<PTPTransport> Recorded;
  std::ofstream File;
  uint64_t StartMs;
  uint64_t IncomingLeft = 0;  // bytes of the current incoming container still to come
};

// `transport` itself, or wrapped in a recorder when KORV_USB_RECORD names a
// file (`camera` names the camera in the trace's title).
std::shared_ptr<PTPTransport> RecordIfAsked(std::shared_ptr<PTPTransport> transport, const std::string& camera);

}  // namespace korv::usbcam
