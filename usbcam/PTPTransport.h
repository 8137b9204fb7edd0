// The pipes of one PTP camera, as the session uses them: bulk-out for
// commands and outgoing data, bulk-in for incoming data and responses, and
// the clock that bounds every wait. Two implementations: the USB camera
// (UsbTransport) and the scripted device of the tests (ScriptedDevice).
//
// Events are not read from the interrupt pipe: the library switches the
// camera to announcing events only when asked (CheckEvent polling), see
// PRCamera.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace korv::usbcam {

enum class TransferStatus {
  Ok,
  Timeout,  // nothing (more) came within the time-out
  Gone,     // the camera was unplugged
  Stalled,  // the endpoint halted; ClearStall lets it go on
  Failed,   // any other error of the pipe (overflow, ...)
};

enum class Pipe { BulkIn, BulkOut };

struct Transfer {
  TransferStatus Status = TransferStatus::Ok;
  size_t Length = 0;  // bytes moved, also when the status is not Ok
};

class PTPTransport {
public:
  virtual ~PTPTransport() = default;

  // Largest packet of the bulk pipes; reads are made in multiples of it.
  virtual size_t PacketSize() const = 0;
  // Writes one whole container to the bulk-out pipe (with the zero-length
  // packet that ends a container whose length is a packet multiple).
  virtual Transfer Send(std::span<const uint8_t> container, int timeoutMs) = 0;
  // One bulk-in transfer into `buffer` (a packet multiple): it ends when the
  // buffer is full or a short packet (possibly of length 0) has arrived. A
  // time-out may come after some whole packets (Length tells how many bytes).
  virtual Transfer Receive(std::span<uint8_t> buffer, int timeoutMs) = 0;
  // Brings the pipes back to a known state after a fault (the class's reset
  // request and clearing of stalls); the camera's session is closed by it.
  virtual TransferStatus Reset() = 0;
  virtual TransferStatus ClearStall(Pipe pipe) = 0;
  // The class's Cancel request for an abandoned transaction.
  virtual TransferStatus Cancel(uint32_t transaction) = 0;
  // The class's Get Device Status request: the camera's response code
  // (0x2001 when it is ready again), 0 when it did not answer.
  virtual uint16_t DeviceStatus() = 0;

  // Milliseconds of a monotonic clock, and a pause on it.
  virtual uint64_t NowMs() = 0;
  virtual void SleepMs(int ms) = 0;
};

}  // namespace korv::usbcam
