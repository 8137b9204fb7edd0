// Where the library's cameras come from. The product's PRSDK.DLL lists and
// opens the PTP cameras on the USB (UsbSource.cpp); the build of it for the
// hand tool may play a scripted camera instead (tests/usbcam/support). A
// source is called with the library's lock held.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera/sdkapi/SDKTypes.h"
#include "usbcam/PTPTransport.h"
#include "usbcam/UsbTransport.h"

namespace korv::usbcam {

// Source 0 is the USB; others are the source's own (at most MaxCameraSource).
constexpr uint8_t UsbCameraSource = 0, MaxCameraSource = 1;

struct SourceCamera {
  uint8_t Source = UsbCameraSource;
  UsbCameraId Id;
  std::string Model;
};

std::vector<SourceCamera> ListSourceCameras();
// The pipes of a listed camera; none (and `status`) when it can't be opened.
std::shared_ptr<PTPTransport> OpenSourceCamera(uint8_t source, const UsbCameraId& id, TSDKStatus& status);

// The library's side, for a source that changes its cameras: the lock every
// call holds, and dropping every camera object.
std::recursive_mutex& LibraryLock();
void DropCameraObjects();

}  // namespace korv::usbcam
