#include "tests/usbcam/support/TraceReplay.h"

#include <algorithm>

namespace korv::usbcam {

TraceReplay::TraceReplay(std::shared_ptr<const Trace> trace, std::function<void(std::string)> note)
    : Played(std::move(trace)), Note(std::move(note)) {}

const TraceEntry* TraceReplay::Ask(TraceKind kind, std::span<const uint8_t> container, uint32_t value) {
  if (Stopped) return nullptr;
  const auto& entries = Played->Entries;
  ++Questions;
  const std::string asked = DescribeQuestion(kind, container, value);
  if (Next >= entries.size()) {
    Note("replay: question " + std::to_string(Questions) + " asked past the end of the trace: " + asked);
    Stopped = true;
    return nullptr;
  }
  const TraceEntry& question = entries[Next];
  const bool same = question.Kind == kind && (kind == TraceKind::DeviceStatus || question.Value == value) &&
                    std::ranges::equal(question.Bytes, container);
  if (!same) {
    const auto differing = std::ranges::mismatch(question.Bytes, container).in1;
    const std::string where =
        question.Kind == kind ? " at byte " + std::to_string(differing - question.Bytes.begin()) : "";
    Note("replay: question " + std::to_string(Questions) + " (trace line " + std::to_string(question.Line) +
         ") differs" + where + ": expected " + DescribeQuestion(question.Kind, question.Bytes, question.Value) +
         ", asked " + asked);
    Stopped = true;
    return nullptr;
  }
  Clock += question.WaitMs;
  if (kind == TraceKind::Reset || kind == TraceKind::Cancel) Packets.clear();  // the camera drops what it had
  // The answers: the reads up to the next question, each there once the
  // library had waited as long as it had waited for it when recorded.
  const uint64_t askedAt = Clock;
  uint64_t waited = 0;
  const size_t packet = Played->PacketSize;
  for (++Next; Next < entries.size() && entries[Next].Kind == TraceKind::Receive; ++Next) {
    const TraceEntry& read = entries[Next];
    waited += read.WaitMs;
    const uint64_t ready = askedAt + waited;
    if (read.Status == TransferStatus::Timeout && read.Length == 0) continue;
    for (size_t at = 0; at < read.Length; at += packet)
      Packets.push_back({ready, TransferStatus::Ok,
                         {read.Bytes.begin() + static_cast<ptrdiff_t>(at),
                          read.Bytes.begin() + static_cast<ptrdiff_t>(std::min(read.Length, at + packet))}});
    // A transfer of whole packets that ended short of its size was ended by
    // a zero-length packet (as was a transfer of none).
    if (read.Status == TransferStatus::Ok && read.Length % packet == 0 && read.Length < read.Asked)
      Packets.push_back({ready, TransferStatus::Ok, {}});
    if (read.Status != TransferStatus::Ok && read.Status != TransferStatus::Timeout)
      Packets.push_back({ready, read.Status, {}});
  }
  if (Next == entries.size()) Note("replay: all " + std::to_string(Questions) + " questions of the trace asked");
  return &question;
}

Transfer TraceReplay::Send(std::span<const uint8_t> container, int) {
  const TraceEntry* question = Ask(TraceKind::Send, container);
  if (question == nullptr) return {TransferStatus::Gone, 0};
  return {question->Status, question->Length};
}

TransferStatus TraceReplay::Reset() {
  const TraceEntry* question = Ask(TraceKind::Reset, {});
  return question == nullptr ? TransferStatus::Gone : question->Status;
}

TransferStatus TraceReplay::ClearStall(Pipe pipe) {
  const TraceEntry* question = Ask(TraceKind::ClearStall, {}, pipe == Pipe::BulkOut);
  return question == nullptr ? TransferStatus::Gone : question->Status;
}

TransferStatus TraceReplay::Cancel(uint32_t transaction) {
  const TraceEntry* question = Ask(TraceKind::Cancel, {}, transaction);
  return question == nullptr ? TransferStatus::Gone : question->Status;
}

uint16_t TraceReplay::DeviceStatus() {
  const TraceEntry* question = Ask(TraceKind::DeviceStatus, {});
  return question == nullptr ? 0 : static_cast<uint16_t>(question->Value);
}

Transfer TraceReplay::Receive(std::span<uint8_t> buffer, int timeoutMs) {
  if (Stopped || Unplugged) return {TransferStatus::Gone, 0};
  // Like a USB transfer: it ends with a short packet, a full buffer, or
  // at its time-out with what had come by then.
  const uint64_t until = Clock + static_cast<uint64_t>(std::max(timeoutMs, 0));
  size_t got = 0;
  for (;;) {
    if (Packets.empty() || Packets.front().ReadyMs > until) {
      Clock = until;
      return {TransferStatus::Timeout, got};
    }
    Packet& next = Packets.front();
    Clock = std::max(Clock, next.ReadyMs);
    if (next.Marker != TransferStatus::Ok) {
      const TransferStatus marker = next.Marker;
      Packets.pop_front();
      if (marker == TransferStatus::Gone) {
        Unplugged = true;
        Note("replay: the camera went, as recorded");
      }
      return {marker, got};
    }
    if (next.Bytes.size() > buffer.size() - got) {
      if (got > 0) break;
      return {TransferStatus::Failed, 0};  // the packet overflows the read
    }
    std::ranges::copy(next.Bytes, buffer.begin() + static_cast<ptrdiff_t>(got));
    got += next.Bytes.size();
    const bool ends = next.Bytes.size() < Played->PacketSize;
    Packets.pop_front();
    if (ends || got == buffer.size()) break;
  }
  return {TransferStatus::Ok, got};
}

}  // namespace korv::usbcam
