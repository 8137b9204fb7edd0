// A trace: everything that crossed the pipes of one PTP camera, as text,
// written by RecordingTransport and played back by TraceReplay. One entry a
// line, "#" starts a comment (the recorder adds what each container is):
//   packet 512                                   the bulk packet size
//   send AT WAIT TIMEOUT STATUS MOVED HEX        a container to the camera
//   recv AT WAIT TIMEOUT ASKED STATUS LENGTH HEX a bulk-in transfer
//   reset AT WAIT STATUS                         the class's Device Reset
//                                                request 0x66, stalls cleared
//   clear AT WAIT in|out STATUS                  a stalled bulk pipe cleared
//   cancel AT WAIT TID STATUS                    the class's Cancel request 0x64
//   status AT WAIT CODE                          the class's Get Device Status
//                                                request 0x67 (0: no answer)
// AT is the milliseconds since the recording began when the call started,
// WAIT how long it took, TIMEOUT what the library allowed, ASKED the size of
// the read, STATUS ok, timeout, gone, stalled or failed, HEX the bytes
// (none: "-"). Everything but a read is a question the library asks.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "usbcam/PTPTransport.h"

namespace korv::usbcam {

enum class TraceKind { Send, Receive, Reset, ClearStall, Cancel, DeviceStatus };

struct TraceEntry {
  TraceKind Kind = TraceKind::Send;
  uint64_t AtMs = 0, WaitMs = 0;
  int TimeoutMs = 0;
  size_t Asked = 0;    // reads only
  uint32_t Value = 0;  // the pipe (0 in, 1 out), the cancelled transaction, the device status
  TransferStatus Status = TransferStatus::Ok;
  size_t Length = 0;           // bytes moved
  std::vector<uint8_t> Bytes;  // sent: the whole container; read: what came
  uint32_t Line = 0;           // in the trace's text
};

struct Trace {
  size_t PacketSize = 512;
  std::vector<TraceEntry> Entries;
};

// The entry as one line of the trace, without comment or line break.
std::string FormatTraceEntry(const TraceEntry& entry);
// On a line it can't read returns nothing and sets `badLine` (1-based).
std::optional<Trace> ParseTrace(const std::string& text, uint32_t& badLine);
// The trace in the file `path` (at most 1 GiB); nothing, and why in
// `error`, when it can't be read.
std::optional<Trace> LoadTrace(const std::string& path, std::string& error);

// What a container is, for comments and reports: "cmd 0x1002 tid 0 p 0x1".
std::string DescribeContainer(std::span<const uint8_t> container);
// What a question is: the container, or the class request.
std::string DescribeQuestion(TraceKind kind, std::span<const uint8_t> container, uint32_t value);

}  // namespace korv::usbcam
