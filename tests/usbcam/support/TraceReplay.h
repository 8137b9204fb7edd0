// A camera played back from a trace (PTPTrace.h): it answers exactly as the
// recorded camera did, with the recorded delays on a virtual clock, and
// checks that the library asks the same questions (the same containers sent
// and class requests made, in the same order). At the first question that differs,
// or one past the end of the trace, it notes why and acts as unplugged from
// then on. The script statement "replay FILE" makes the scripted device
// this (ScriptedDevice.h).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "usbcam/PTPTrace.h"
#include "usbcam/PTPTransport.h"

namespace korv::usbcam {

class TraceReplay final : public PTPTransport {
public:
  // `note` gets one line for each thing worth reporting:
  //   "replay: question N (trace line L) differs: expected ..., asked ..."
  //   "replay: question N asked past the end of the trace: ..."
  //   "replay: all N questions of the trace asked"
  //   "replay: the camera went, as recorded"
  TraceReplay(std::shared_ptr<const Trace> trace, std::function<void(std::string)> note);

  size_t PacketSize() const override { return Played->PacketSize; }
  Transfer Send(std::span<const uint8_t> container, int timeoutMs) override;
  Transfer Receive(std::span<uint8_t> buffer, int timeoutMs) override;
  TransferStatus Reset() override;
  TransferStatus ClearStall(Pipe pipe) override;
  TransferStatus Cancel(uint32_t transaction) override;
  uint16_t DeviceStatus() override;
  uint64_t NowMs() override { return Clock; }
  void SleepMs(int ms) override { Clock += static_cast<uint64_t>(std::max(ms, 0)); }

private:
  // The recorded question at this point, if the library asked it; queues its
  // answers.
  const TraceEntry* Ask(TraceKind kind, std::span<const uint8_t> container, uint32_t value = 0);

  std::shared_ptr<const Trace> Played;
  std::function<void(std::string)> Note;
  size_t Next = 0;  // entry index of the next question
  uint32_t Questions = 0;
  bool Stopped = false;    // differed or past the end: unplugged
  bool Unplugged = false;  // as recorded: nothing more is read, questions still count
  uint64_t Clock = 0;
  // Bulk-in packets with the time they are there; no bytes: the pipe failed
  // (Failed) or the camera went (Gone) at that point.
  struct Packet {
    uint64_t ReadyMs;
    TransferStatus Marker;
    std::vector<uint8_t> Bytes;
  };
  std::deque<Packet> Packets;
};

}  // namespace korv::usbcam
