// One PTP session over a transport: numbered transactions (command, an
// optional data phase either way, response), with every wait bounded and
// every byte from the camera size-capped and bounds-checked. A fault that
// leaves the pipes in an unknown state (time-out, malformed or short
// container, wrong transaction id, unplugging, an exception from a data
// consumer) marks the session broken; PRCamera then resets and reopens it.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "camera/sdkapi/SDKTypes.h"
#include "usbcam/PTPContainer.h"
#include "usbcam/PTPTransport.h"

namespace korv::usbcam {

// Statuses of the library (texts in the PR error table); a camera's own
// response codes other than OK are passed on as they are.
constexpr TSDKStatus StatusInternalError = 0x0002;
constexpr TSDKStatus StatusNotSupported = 0x0007;
constexpr TSDKStatus StatusCameraGone = 0x000B;  // "Selection unavailable"
constexpr TSDKStatus StatusInvalidParameter = 0x0021;
constexpr TSDKStatus StatusInvalidHandle = 0x0022;
constexpr TSDKStatus StatusInvalidFunctionCall = 0x0061;
constexpr TSDKStatus StatusTimeout = 0x0062;
constexpr TSDKStatus StatusInsufficientBuffer = 0x0063;
constexpr TSDKStatus StatusNoRemoteCapture = 0x0070;  // the library's own
constexpr TSDKStatus StatusWrongTransaction = 0x2004;
constexpr TSDKStatus StatusIncompleteTransfer = 0x2007;
constexpr TSDKStatus StatusAccessDenied = 0x200F;
constexpr TSDKStatus StatusDeviceBusy = 0x2019;

// Bounds. A transaction ends at its deadline whatever the camera does; a
// slow camera may take all of it (a bulk transfer that times out before
// then is simply waited on again, each wait at most IoTimeoutMs). A
// transaction abandoned at its deadline is cancelled and the camera asked
// for its status until it is ready, at most AbandonMs more.
constexpr int IoTimeoutMs = 5000;
constexpr int TransactionDeadlineMs = 10000;
constexpr int AbandonMs = 1000;
constexpr int StatusPollMs = 100;
constexpr int StatusRequestMs = 200;  // each Cancel or Get Device Status request
// A zero-length packet that should end a packet-multiple container is
// waited for briefly: cameras that leave it out go on with the next one.
constexpr int ZeroLengthPacketWaitMs = 250;
// Largest container accepted (a picture's data phase).
constexpr uint32_t MaxContainerSize = 256u << 20;
// Bulk-in reads are made in pieces of this size (rounded to packets).
constexpr size_t ReadPieceSize = 64 * 1024;

// Takes an incoming data phase: first called with an empty piece and the
// payload size the container declares, then with each piece in order. A
// nonzero status is returned by the transaction once the data phase has been
// drained and the response read (the pipes stay in step).
using DataSink = std::function<TSDKStatus(std::span<const uint8_t> piece, uint64_t payloadSize)>;

class PTPSession {
public:
  explicit PTPSession(PTPTransport& transport);

  // OpenSession (session 1, transaction id 0); later transactions count
  // from 1. A session the camera still has open counts as opened.
  TSDKStatus Open(uint64_t deadlineMs);
  // One transaction with `parameters`; `dataOut` (when not null) is sent as
  // the data phase, an incoming data phase goes to `dataIn` (discarded when
  // null). Returns 0 for the response OK, else the response code or a fault.
  // A call made while a transaction runs (from inside a data sink) answers
  // StatusInvalidFunctionCall.
  TSDKStatus Transact(uint16_t operation, std::span<const uint32_t> parameters,
                      const std::vector<uint8_t>* dataOut, const DataSink& dataIn, uint64_t deadlineMs);

  bool Broken() const { return IsBroken; }
  void MarkBroken() { IsBroken = true; }
  // Resets the pipes, waits (bounded) until the camera reports itself ready
  // and forgets what was read ahead; the session must be opened again.
  TSDKStatus Reset();
  PTPTransport& Transport() { return Pipes; }

private:
  TSDKStatus Exchange(uint16_t operation, uint32_t transaction, std::span<const uint32_t> parameters,
                      const std::vector<uint8_t>* dataOut, const DataSink& dataIn, uint64_t deadline);
  // Reads one container; `take` gets its header and then its bytes after the
  // header (all of them, in pieces).
  TSDKStatus ReceiveContainer(uint64_t deadline, PTPHeader& header,
                              const std::function<void(std::span<const uint8_t>)>& take);
  // One bulk-in transfer as long as the deadline allows: time-outs before it
  // are waited through, a stall is cleared and the transfer goes on once.
  Transfer Read(size_t size, uint64_t deadline, int waitMs = IoTimeoutMs);
  TSDKStatus Send(std::span<const uint8_t> container, uint64_t deadline);
  TSDKStatus Fault(TransferStatus status);
  // Cancels an abandoned transaction and waits for the camera to be ready.
  void Abandon(uint32_t transaction);
  bool AwaitReady(uint64_t deadline);

  PTPTransport& Pipes;
  uint32_t NextTransaction = 1;
  bool IsBroken = false;
  bool InTransaction = false;
  std::vector<uint8_t> Buffer;
  // Bytes of the next container read ahead, and whether the transfer that
  // brought them has ended.
  std::vector<uint8_t> Carry;
  bool CarryEnded = true;
};

}  // namespace korv::usbcam
