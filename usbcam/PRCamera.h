// One connected PTP camera as the PR library entries see it: the session,
// release control, the event path and picture transfers, each call bounded.
//
// Event path: the library sets the camera's event emulation mode (0xD045)
// to 7, so that the camera reports events only when asked, and asks with
// CheckEvent (0x9013): after a capture it polls every PollIntervalMs until
// each picture the capture transfer mode (0xD029) sends to the computer has
// been announced (0xC009 thumbnail, 0xC008 picture), at most
// EventWaitMs. Every event that comes is handed to the event callback as a
// 412-byte record holding the event container (code at 6, object handle at
// 12). Between releases nothing is polled.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "camera/sdkapi/SDKTypes.h"
#include "usbcam/PTPSession.h"

namespace korv::usbcam {

constexpr int CaptureResponseMs = 30000;  // InitiateCaptureInMemory answered
constexpr int EventWaitMs = 60000;        // the pictures announced after that
constexpr int PollIntervalMs = 100;
constexpr int PictureDeadlineMs = 120000;  // one whole picture fetched
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
                  uint32_t capacity, uint32_t& needed);
  TSDKStatus Write(uint16_t code, std::span<const uint8_t> value);
  uint64_t Deadline(int ms) { return Transport->NowMs() + static_cast<uint64_t>(ms); }

  std::shared_ptr<PTPTransport> Transport;
  PTPSession Session;
  TPREventCallback EventCallback = nullptr;
  uint32_t EventContext = 0;
  bool InReleaseControl = false;
  std::optional<std::vector<uint8_t>> TransferMode;  // as last written to 0xD029
};

// The event container as the 412-byte record of the event callback.
std::vector<uint8_t> EventRecord(std::span<const uint8_t> container);

}  // namespace korv::usbcam
