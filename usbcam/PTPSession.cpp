#include "usbcam/PTPSession.h"

#include <algorithm>

#include "runtime/ByteReader.h"
#include "runtime/ScopeExit.h"

namespace korv::usbcam {

namespace {

constexpr uint32_t SessionId = 1;

}  // namespace

PTPSession::PTPSession(PTPTransport& transport) : Pipes(transport) {
  const size_t packet = std::max<size_t>(Pipes.PacketSize(), 1);
  Buffer.resize(std::max(packet, ReadPieceSize / packet * packet));
}

TSDKStatus PTPSession::Fault(TransferStatus status) {
  IsBroken = true;
  switch (status) {
    case TransferStatus::Timeout: return StatusTimeout;
    case TransferStatus::Gone: return StatusCameraGone;
    default: return StatusIncompleteTransfer;
  }
}

TSDKStatus PTPSession::Reset() {
  Carry.clear();
  CarryEnded = true;
  IsBroken = true;  // until opened again
  const TransferStatus status = Pipes.Reset();
  if (status != TransferStatus::Ok) return Fault(status);
  AwaitReady(Pipes.NowMs() + AbandonMs);
  return SDKOk;
}

bool PTPSession::AwaitReady(uint64_t deadline) {
  for (;;) {
    if (Pipes.DeviceStatus() == PTPResponseOK) return true;
    if (Pipes.NowMs() + StatusPollMs + StatusRequestMs > deadline) return false;
    Pipes.SleepMs(StatusPollMs);
  }
}

void PTPSession::Abandon(uint32_t transaction) {
  Carry.clear();
  CarryEnded = true;
  const uint64_t deadline = Pipes.NowMs() + AbandonMs;
  if (Pipes.Cancel(transaction) == TransferStatus::Ok) AwaitReady(deadline);
}

TSDKStatus PTPSession::Open(uint64_t deadlineMs) {
  const uint32_t parameters[] = {SessionId};
  NextTransaction = 0;
  IsBroken = false;
  TSDKStatus status = Transact(PTPOpOpenSession, parameters, nullptr, nullptr, deadlineMs);
  if (status == PTPResponseSessionAlreadyOpen) status = SDKOk;
  if (status != SDKOk) IsBroken = true;
  return status;
}

TSDKStatus PTPSession::Transact(uint16_t operation, std::span<const uint32_t> parameters,
                                const std::vector<uint8_t>* dataOut, const DataSink& dataIn, uint64_t deadlineMs) {
  if (InTransaction) return StatusInvalidFunctionCall;
  if (IsBroken) return StatusIncompleteTransfer;
  InTransaction = true;
  // Whatever ends the exchange early (a fault, an exception from the data
  // sink) leaves the pipes mid-transaction.
  auto broken = ScopeExit([&] {
    IsBroken = true;
    InTransaction = false;
  });
  const uint32_t transaction = NextTransaction++;
  const TSDKStatus status = Exchange(operation, transaction, parameters, dataOut, dataIn, deadlineMs);
  if (status == StatusTimeout) Abandon(transaction);
  if (IsBroken) return status;
  broken.Release();
  InTransaction = false;
  return status;
}

TSDKStatus PTPSession::Exchange(uint16_t operation, uint32_t transaction, std::span<const uint32_t> parameters,
                                const std::vector<uint8_t>* dataOut, const DataSink& dataIn, uint64_t deadline) {
  if (TSDKStatus status = Send(BuildContainer(PTPType::Command, operation, transaction, parameters), deadline))
    return status;
  if (dataOut)
    if (TSDKStatus status = Send(BuildDataContainer(operation, transaction, *dataOut), deadline)) return status;

  TSDKStatus sinkStatus = SDKOk;
  for (bool dataSeen = false;;) {
    PTPHeader header;
    bool announced = false;
    // Only a data phase is taken; a response's parameters are not used.
    TSDKStatus status = ReceiveContainer(deadline, header, [&](std::span<const uint8_t> piece) {
      if (header.Type != static_cast<uint16_t>(PTPType::Data) || !dataIn || sinkStatus != SDKOk) return;
      if (!announced) {
        announced = true;
        sinkStatus = dataIn({}, header.Length - PTPHeaderSize);
        if (sinkStatus != SDKOk) return;
      }
      if (!piece.empty()) sinkStatus = dataIn(piece, header.Length - PTPHeaderSize);
    });
    if (status != SDKOk) return status;
    if (header.Transaction != transaction) {
      Fault(TransferStatus::Failed);
      return StatusWrongTransaction;
    }
    if (header.Type == static_cast<uint16_t>(PTPType::Data) && header.Code == operation && !dataSeen) {
      dataSeen = true;
      if (dataIn && !announced && sinkStatus == SDKOk) sinkStatus = dataIn({}, 0);
      continue;
    }
    if (header.Type != static_cast<uint16_t>(PTPType::Response)) return Fault(TransferStatus::Failed);
    if (header.Code != PTPResponseOK) return header.Code;
    return sinkStatus;
  }
}

TSDKStatus PTPSession::Send(std::span<const uint8_t> container, uint64_t deadline) {
  bool stallCleared = false;
  for (size_t sent = 0;;) {
    const uint64_t now = Pipes.NowMs();
    if (now >= deadline) return Fault(TransferStatus::Timeout);
    const int wait = static_cast<int>(std::min<uint64_t>(IoTimeoutMs, deadline - now));
    const Transfer moved = Pipes.Send(container.subspan(sent), wait);
    sent += std::min(moved.Length, container.size() - sent);
    if (moved.Status == TransferStatus::Ok) return sent == container.size() ? SDKOk : Fault(TransferStatus::Failed);
    if (moved.Status == TransferStatus::Stalled && !stallCleared &&
        Pipes.ClearStall(Pipe::BulkOut) == TransferStatus::Ok) {
      stallCleared = true;
      continue;
    }
    if (moved.Status != TransferStatus::Timeout) return Fault(moved.Status);
  }
}

Transfer PTPSession::Read(size_t size, uint64_t deadline, int waitMs) {
  const auto buffer = std::span(Buffer).first(std::min(size, Buffer.size()));
  bool stallCleared = false;
  for (size_t got = 0;;) {
    const uint64_t now = Pipes.NowMs();
    if (now >= deadline) return {TransferStatus::Timeout, got};
    const int wait = static_cast<int>(std::min<uint64_t>(waitMs, deadline - now));
    const Transfer read = Pipes.Receive(buffer.subspan(got), wait);
    got += std::min(read.Length, buffer.size() - got);
    switch (read.Status) {
      case TransferStatus::Ok: return {TransferStatus::Ok, got};
      case TransferStatus::Timeout:
        if (waitMs < IoTimeoutMs) return {TransferStatus::Timeout, got};  // a short look, not a wait
        continue;
      case TransferStatus::Stalled:
        if (stallCleared || Pipes.ClearStall(Pipe::BulkIn) != TransferStatus::Ok)
          return {TransferStatus::Failed, got};
        stallCleared = true;
        continue;
      default: return {read.Status, got};
    }
  }
}

TSDKStatus PTPSession::ReceiveContainer(uint64_t deadline, PTPHeader& header,
                                        const std::function<void(std::span<const uint8_t>)>& take) {
  const size_t packet = std::max<size_t>(Pipes.PacketSize(), 1);
  // The first piece: what was read ahead, else a transfer that holds
  // something (a stray zero-length packet is passed over).
  std::vector<uint8_t> first;
  bool ended = true;
  if (!Carry.empty()) {
    first.swap(Carry);
    ended = CarryEnded;
  } else {
    for (;;) {
      const Transfer read = Read(Buffer.size(), deadline);
      if (read.Status != TransferStatus::Ok) return Fault(read.Status);
      if (read.Length == 0) continue;
      first.assign(Buffer.begin(), Buffer.begin() + static_cast<ptrdiff_t>(read.Length));
      ended = read.Length < Buffer.size();
      break;
    }
  }
  const auto parsed = ParseHeader(first);
  if (!parsed || parsed->Length > MaxContainerSize) return Fault(TransferStatus::Failed);
  header = *parsed;

  // Hands over the container's bytes from `bytes`; what lies beyond the
  // container is the start of the next one.
  uint64_t got = 0;
  auto consume = [&](std::span<const uint8_t> bytes, bool transferEnded) {
    const size_t mine = static_cast<size_t>(std::min<uint64_t>(bytes.size(), header.Length - got));
    const size_t skip = got < PTPHeaderSize ? static_cast<size_t>(std::min<uint64_t>(mine, PTPHeaderSize - got)) : 0;
    got += mine;
    if (mine < bytes.size()) {
      Carry.assign(bytes.begin() + static_cast<ptrdiff_t>(mine), bytes.end());
      CarryEnded = transferEnded;
    }
    if (mine > skip) take(bytes.subspan(skip, mine - skip));
  };
  consume(first, ended);
  if (ended && got < header.Length) return Fault(TransferStatus::Failed);  // the transfer ended early
  while (got < header.Length) {
    const uint64_t left = header.Length - got;
    const size_t ask = static_cast<size_t>(std::min<uint64_t>(Buffer.size(), (left + packet - 1) / packet * packet));
    const Transfer read = Read(ask, deadline);
    if (read.Status != TransferStatus::Ok) return Fault(read.Status);
    // A transfer that ends before the container does: a short data phase.
    if (read.Length == 0 || (read.Length < ask && read.Length < left)) return Fault(TransferStatus::Failed);
    ended = read.Length < ask;
    consume(std::span(Buffer).first(read.Length), ended);
  }
  // A container of whole packets ends with a zero-length packet, unless the
  // last read stopped short of its size (then that packet ended it).
  if (header.Length % packet == 0 && !ended && Carry.empty()) {
    const Transfer read = Read(Buffer.size(), deadline, ZeroLengthPacketWaitMs);
    if (read.Status == TransferStatus::Gone) return Fault(read.Status);
    if (read.Length > 0) {  // the next container began (it may go on after a time-out)
      Carry.assign(Buffer.begin(), Buffer.begin() + static_cast<ptrdiff_t>(read.Length));
      CarryEnded = read.Status == TransferStatus::Ok && read.Length < Buffer.size();
    }
  }
  return SDKOk;
}

}  // namespace korv::usbcam
