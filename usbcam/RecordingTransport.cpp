#include "usbcam/RecordingTransport.h"

#include <cstdlib>
#include <iostream>
#include <type_traits>

#include "usbcam/PTPContainer.h"

namespace korv::usbcam {

RecordingTransport::RecordingTransport(std::shared_ptr<PTPTransport> recorded, const std::string& path,
                                       const std::string& title)
    : Recorded(std::move(recorded)), File(path, std::ios::trunc), StartMs(Recorded->NowMs()) {
  if (!File) std::cerr << "PRSDK.DLL: the trace " << path << " can't be written" << std::endl;
  File << "# " << title << "\n"
       << "# send/recv AT WAIT TIMEOUT [ASKED] STATUS LENGTH HEX, class requests: usbcam/PTPTrace.h\n"
       << "packet " << Recorded->PacketSize() << std::endl;
}

void RecordingTransport::Write(const TraceEntry& entry, const std::string& comment) {
  File << FormatTraceEntry(entry);
  if (!comment.empty()) File << "  # " << comment;
  File << std::endl;
}

std::string RecordingTransport::DescribeIncoming(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return "zero-length packet";
  std::string text;
  while (!bytes.empty()) {
    if (IncomingLeft == 0) {
      const auto header = ParseHeader(bytes);
      text += (text.empty() ? "" : "; ") + DescribeContainer(bytes);
      IncomingLeft = header ? header->Length : bytes.size();
    }
    const size_t mine = static_cast<size_t>(std::min<uint64_t>(IncomingLeft, bytes.size()));
    IncomingLeft -= mine;
    bytes = bytes.subspan(mine);
  }
  return text;
}

Transfer RecordingTransport::Send(std::span<const uint8_t> container, int timeoutMs) {
  TraceEntry entry{TraceKind::Send, Recorded->NowMs() - StartMs, 0, timeoutMs, 0, 0, TransferStatus::Ok, 0, {}, 0};
  const Transfer sent = Recorded->Send(container, timeoutMs);
  entry.WaitMs = Recorded->NowMs() - StartMs - entry.AtMs;
  entry.Status = sent.Status;
  entry.Length = sent.Length;
  entry.Bytes.assign(container.begin(), container.end());
  Write(entry, DescribeContainer(container));
  return sent;
}

Transfer RecordingTransport::Receive(std::span<uint8_t> buffer, int timeoutMs) {
  TraceEntry entry{TraceKind::Receive, Recorded->NowMs() - StartMs, 0, timeoutMs, buffer.size(), 0,
                   TransferStatus::Ok, 0, {}, 0};
  const Transfer read = Recorded->Receive(buffer, timeoutMs);
  entry.WaitMs = Recorded->NowMs() - StartMs - entry.AtMs;
  entry.Status = read.Status;
  entry.Length = std::min(read.Length, buffer.size());
  entry.Bytes.assign(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(entry.Length));
  Write(entry, entry.Length > 0 || read.Status == TransferStatus::Ok ? DescribeIncoming(entry.Bytes) : "");
  return read;
}

template <class Ask>
auto RecordingTransport::Request(TraceKind kind, uint32_t value, Ask ask) {
  TraceEntry entry{kind, Recorded->NowMs() - StartMs, 0, 0, 0, value, TransferStatus::Ok, 0, {}, 0};
  const auto answer = ask();
  if constexpr (std::is_same_v<decltype(answer), const TransferStatus>) entry.Status = answer;
  else entry.Value = answer;
  entry.WaitMs = Recorded->NowMs() - StartMs - entry.AtMs;
  // What the camera had to send is gone after these.
  if (kind == TraceKind::Reset || kind == TraceKind::Cancel) IncomingLeft = 0;
  Write(entry, kind == TraceKind::Reset ? "class request 0x66, stalls cleared" : "");
  return answer;
}

TransferStatus RecordingTransport::Reset() {
  return Request(TraceKind::Reset, 0, [&] { return Recorded->Reset(); });
}

TransferStatus RecordingTransport::ClearStall(Pipe pipe) {
  return Request(TraceKind::ClearStall, pipe == Pipe::BulkOut, [&] { return Recorded->ClearStall(pipe); });
}

TransferStatus RecordingTransport::Cancel(uint32_t transaction) {
  return Request(TraceKind::Cancel, transaction, [&] { return Recorded->Cancel(transaction); });
}

uint16_t RecordingTransport::DeviceStatus() {
  return Request(TraceKind::DeviceStatus, 0, [&] { return Recorded->DeviceStatus(); });
}

std::shared_ptr<PTPTransport> RecordIfAsked(std::shared_ptr<PTPTransport> transport, const std::string& camera) {
  const char* path = std::getenv("KORV_USB_RECORD");
  if (path == nullptr || *path == '\0') return transport;
  return std::make_shared<RecordingTransport>(std::move(transport), path, "trace of " + camera);
}

}  // namespace korv::usbcam
