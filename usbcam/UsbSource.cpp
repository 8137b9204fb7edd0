// The product's cameras: the PTP cameras on the USB.
#include "usbcam/CameraSource.h"
#include "usbcam/PTPSession.h"

namespace korv::usbcam {

std::vector<SourceCamera> ListSourceCameras() {
  std::vector<SourceCamera> cameras;
  for (const UsbCameraId& id : ListUsbCameras()) cameras.push_back({UsbCameraSource, id, id.Model});
  return cameras;
}

std::shared_ptr<PTPTransport> OpenSourceCamera(uint8_t source, const UsbCameraId& id, TSDKStatus& status) {
  if (source != UsbCameraSource) {
    status = StatusInvalidParameter;
    return nullptr;
  }
  return OpenUsbCamera(id, status);
}

}  // namespace korv::usbcam
