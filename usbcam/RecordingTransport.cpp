#include "usbcam/RecordingTransport.h"

#include <cstdlib>
#include <iostream>

#include "usbcam/PTPContainer.h"

namespace korv::usbcam {

RecordingTransport::RecordingTransport(std::shared_ptr<PTPTransport> recorded, const std::string& path,
                                       const std::string& title)
    : Recorded(std::move(recorded)), File(path, std::ios::trunc), StartMs(Recorded->NowMs()) {
  if (!File) std::cerr << "PRSDK.DLL: the trace " << path << " can't be written" << std::endl;
  File << "# " << title << "\n"
       << "# send/recv AT WAIT TIMEOUT [ASKED] STATUS LENGTH HEX; reset AT WAIT STATUS (usbcam/PTPTrace.h)\n"
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
  TraceEntry entry{TraceKind::Send, Recorded->NowMs() - StartMs, 0, timeoutMs, 0, TransferStatus::Ok, 0, {}, 0};
  const Transfer sent = Recorded->Send(container, timeoutMs);
  entry.WaitMs = Recorded->NowMs() - StartMs - entry.AtMs;
  entry.Status = sent.Status;
  entry.Length = sent.Length;
  entry.Bytes.assign(container.begin(), container.end());
  Write(entry, DescribeContainer(container));
  return sent;
}

Transfer RecordingTransport::Receive(std::span<uint8_t> buffer, int timeoutMs) {
  TraceEntry entry{TraceKind::Receive, Recorded->NowMs() - StartMs, 0, timeoutMs, buffer.size(),
                   TransferStatus::Ok, 0, {}, 0};
  const Transfer read = Recorded->Receive(buffer, timeoutMs);
  entry.WaitMs = Recorded->NowMs() - StartMs - entry.AtMs;
  entry.Status = read.Status;
  entry.Length = std::min(read.Length, buffer.size());
  entry.Bytes.assign(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(entry.Length));
  Write(entry, entry.Length > 0 || read.Status == TransferStatus::Ok ? DescribeIncoming(entry.Bytes) : "");
  return read;
}

TransferStatus RecordingTransport::Reset() {
  TraceEntry entry{TraceKind::Reset, Recorded->NowMs() - StartMs, 0, 0, 0, TransferStatus::Ok, 0, {}, 0};
  entry.Status = Recorded->Reset();
  entry.WaitMs = Recorded->NowMs() - StartMs - entry.AtMs;
  IncomingLeft = 0;
  Write(entry, "class request 0x66 Device Reset, stalls cleared");
  return entry.Status;
}

std::shared_ptr<PTPTransport> RecordIfAsked(std::shared_ptr<PTPTransport> transport, const std::string& camera) {
  const char* path = std::getenv("KORV_USB_RECORD");
  if (path == nullptr || *path == '\0') return transport;
  return std::make_shared<RecordingTransport>(std::move(transport), path, "trace of " + camera);
}

}  // namespace korv::usbcam
