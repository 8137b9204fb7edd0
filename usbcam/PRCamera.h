// One connected PTP camera as the PR library entries see it: the session,
// release control, the event path and picture transfers, each call bounded.
//
// Event path: the library sets the camera's event emulation mode (0xD045)
// to 7, so that the camera reports events only when asked, and asks with
// CheckEvent (0x9013). Once release control is on, and again before each
// capture, what the camera queued is drained: picture events there belong
// to no release of ours and are dropped, the others (the mode change 0xC00C
// after release control) handed on, at most MaxDrainedEvents events or
// DrainMs. After a capture it polls every
// PollIntervalMs until the picture (0xC008; 0xC009 when the capture
// transfer mode 0xD029 sends only thumbnails to the computer) has been
// announced, at most EventWaitMs. Events are handed to the event callback as
// a 412-byte record holding the event container (code at 6, object handle
// at 12); a thumbnail event only when the transfer mode asks for
// thumbnails. Events the library does not act on are not handed on but
// written once each to standard error. Between releases nothing is polled.
// The camera's own event emulation value goes back at disconnection.
//
// Pictures: whole by GetObject, or in pieces by GetPartialObject (0x101B)
// where GetObject fails before any byte or the picture is larger than the
// camera's output size (0xD02E). A camera whose DeviceInfo lacks
// InitiateReleaseControl (0x9008) is refused release control without being
// asked (StatusNoRemoteCapture).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "camera/sdkapi/SDKTypes.h"
#include "usbcam/PTPSession.h"

namespace korv::usbcam {

constexpr int CaptureResponseMs = 30000;  // InitiateCaptureInMemory answered, busy retries included
constexpr int BusyRetryMs = 500;          // pause before asking a busy camera again
constexpr int EventWaitMs = 60000;        // the pictures announced after that
constexpr int DrainMs = 10000;            // what the camera queued before, drained ...
constexpr int MaxDrainedEvents = 100;     // ... at most this many events
constexpr uint32_t PartialPieceSize = 512u << 10;  // pieces of a camera without an output size
constexpr int PollIntervalMs = 100;
constexpr int PictureDeadlineMs = 120000;  // one whole picture fetched, its ObjectInfo included
// Pictures larger than this are refused before any of their bytes is read.
constexpr uint32_t MaxPictureSize = MaxContainerSize - PTPHeaderSize;
// Datasets and values are taken up to this size (or the caller's buffer).
constexpr uint32_t MaxDatasetSize = 16u << 20;
constexpr uint32_t MaxBlockSize = 1u << 20;

class PRCamera {
public:
  explicit PRCamera(std::shared_ptr<PTPTransport> transport);

  // Opens the session and switches the camera to events on request.
  TSDKStatus Connect();
  void SetEventCallback(TPREventCallback callback, uint32_t context);

  // A dataset or value as the camera sent it, at most `capacity` bytes;
  // a larger one answers StatusInsufficientBuffer with `data` holding
  // nothing and `needed` its size.
  TSDKStatus GetDeviceInfo(std::vector<uint8_t>& data, uint32_t capacity, uint32_t& needed);
  TSDKStatus GetPropDesc(uint16_t code, std::vector<uint8_t>& data, uint32_t capacity, uint32_t& needed);
  TSDKStatus GetPropValue(uint16_t code, std::vector<uint8_t>& data, uint32_t capacity, uint32_t& needed);
  TSDKStatus SetPropValue(uint16_t code, std::span<const uint8_t> value);

  TSDKStatus InitiateReleaseControl();
  TSDKStatus TerminateReleaseControl();
  // Leaves the camera as it was found: release control off, the session
  // closed (a broken session is reset instead).
  TSDKStatus Close();
  // Captures and announces the pictures through the event callback.
  TSDKStatus Release();
  // Fetches a picture in blocks of at most `blockSize` bytes, then a last
  // call without data.
  TSDKStatus GetReleasedData(uint32_t object, uint32_t eventCode, uint32_t blockSize, uint32_t context,
                             TPRDataCallback callback);

private:
  // Resets and reopens a session that a fault broke, with the camera put
  // back into the state this library had set.
  TSDKStatus Ready();
  TSDKStatus OpenAndSetUp();
  TSDKStatus SwitchReleaseControl(bool on);
  TSDKStatus Read(uint16_t operation, std::span<const uint32_t> parameters, std::vector<uint8_t>& data,
                  uint32_t capacity, uint32_t& needed, uint64_t deadline);
  // Takes what the camera has queued; picture events are dropped. Fails
  // only when the session broke.
  TSDKStatus Drain();
  // Hands one event container to the event callback; one the library does
  // not act on only to standard error, once. True when handed on.
  bool HandOn(std::span<const uint8_t> event);
  using Feed = std::function<void(std::span<const uint8_t> piece, uint64_t total)>;
  TSDKStatus ReadObject(uint32_t object, std::optional<uint64_t> size, const Feed& feed, uint64_t deadline);
  TSDKStatus ReadInPieces(uint32_t object, uint64_t size, uint32_t piece, const Feed& feed, uint64_t deadline);
  // The camera's largest data phase (0xD02E), asked once; 0 when it has none.
  uint32_t OutputSize(uint64_t deadline);
  uint32_t Mode() const;
  TSDKStatus Write(uint16_t code, std::span<const uint8_t> value);
  uint64_t Deadline(int ms) { return Transport->NowMs() + static_cast<uint64_t>(ms); }

  std::shared_ptr<PTPTransport> Transport;
  PTPSession Session;
  TPREventCallback EventCallback = nullptr;
  uint32_t EventContext = 0;
  bool InReleaseControl = false;
  std::optional<std::vector<uint8_t>> TransferMode;  // as last written to 0xD029
  std::optional<std::vector<uint8_t>> OwnEventMode;  // 0xD045 as the camera came
  bool RemoteCapture = true;                         // as the last DeviceInfo read says
  std::optional<uint32_t> Output;                    // 0xD02E, once asked
  std::set<uint16_t> Unused;                         // events written to standard error
};

// The event container as the 412-byte record of the event callback.
std::vector<uint8_t> EventRecord(std::span<const uint8_t> container);

}  // namespace korv::usbcam
