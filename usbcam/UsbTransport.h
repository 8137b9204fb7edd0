// PTP cameras on the USB, through libusb-1.0: every interface of the Still
// Image class (6/1/1) with a bulk-in, a bulk-out and an interrupt-in
// endpoint counts as a camera.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "camera/sdkapi/SDKTypes.h"
#include "usbcam/PTPTransport.h"

namespace korv::usbcam {

// Where a camera sits: bus and port path stay the same while it stays
// plugged into the same socket.
struct UsbCameraId {
  uint8_t Bus = 0;
  uint8_t PortCount = 0;
  uint8_t Ports[7] = {};
  uint16_t Vendor = 0, Product = 0;
  std::string Model;  // the product text, else "USB camera VVVV:PPPP"
};

// The cameras found; none when the machine has no USB at all.
std::vector<UsbCameraId> ListUsbCameras();
// Opens the camera at `id` and claims its interface; null with a nonzero
// status when it is gone, busy (claimed by another program) or not
// accessible to this user.
std::unique_ptr<PTPTransport> OpenUsbCamera(const UsbCameraId& id, TSDKStatus& status);

}  // namespace korv::usbcam
