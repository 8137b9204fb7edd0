#include "usbcam/UsbTransport.h"

#include <libusb.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "runtime/ScopeExit.h"
#include "usbcam/PTPSession.h"

namespace korv::usbcam {

namespace {

constexpr uint8_t StillImageClass = 6, StillImageSubclass = 1, PTPProtocol = 1;
constexpr uint8_t ClassRequestCancel = 0x64, ClassRequestReset = 0x66, ClassRequestDeviceStatus = 0x67;
constexpr uint8_t ClassRequestToInterface = 0x21;    // host to device, class request, interface
constexpr uint8_t ClassRequestFromInterface = 0xA1;  // device to host
constexpr uint16_t CancelCode = 0x4001;
constexpr int ControlTimeoutMs = 2000;

// One libusb context, made on first use; null when there is no USB to talk
// to. Open cameras keep it too, so it ends after the last of them when the
// library is unloaded.
class UsbContext {
public:
  UsbContext() {
    if (libusb_init(&Made) != 0) Made = nullptr;
  }
  ~UsbContext() {
    if (Made != nullptr) libusb_exit(Made);
  }
  UsbContext(const UsbContext&) = delete;
  UsbContext& operator=(const UsbContext&) = delete;
  libusb_context* get() const { return Made; }

private:
  libusb_context* Made = nullptr;
};

const std::shared_ptr<UsbContext>& Context() {
  static const auto context = std::make_shared<UsbContext>();
  return context;
}

struct Endpoints {
  int Interface = -1;
  uint8_t BulkIn = 0, BulkOut = 0, InterruptIn = 0;
  size_t PacketSize = 512;
};

// The Still Image interface of a device, if it has one.
bool FindEndpoints(libusb_device* device, Endpoints& found) {
  libusb_config_descriptor* config = nullptr;
  if (libusb_get_active_config_descriptor(device, &config) != 0 &&
      libusb_get_config_descriptor(device, 0, &config) != 0)
    return false;
  auto free = ScopeExit([&] { libusb_free_config_descriptor(config); });
  for (int i = 0; i < config->bNumInterfaces; ++i) {
    const libusb_interface& interface = config->interface[i];
    for (int a = 0; a < interface.num_altsetting; ++a) {
      const libusb_interface_descriptor& alt = interface.altsetting[a];
      if (alt.bInterfaceClass != StillImageClass || alt.bInterfaceSubClass != StillImageSubclass ||
          alt.bInterfaceProtocol != PTPProtocol)
        continue;
      Endpoints e;
      e.Interface = alt.bInterfaceNumber;
      for (int k = 0; k < alt.bNumEndpoints; ++k) {
        const libusb_endpoint_descriptor& ep = alt.endpoint[k];
        const bool in = (ep.bEndpointAddress & LIBUSB_ENDPOINT_IN) != 0;
        switch (ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) {
          case LIBUSB_TRANSFER_TYPE_BULK:
            (in ? e.BulkIn : e.BulkOut) = ep.bEndpointAddress;
            if (in && (ep.wMaxPacketSize & 0x7FF) != 0) e.PacketSize = ep.wMaxPacketSize & 0x7FF;
            break;
          case LIBUSB_TRANSFER_TYPE_INTERRUPT:
            if (in) e.InterruptIn = ep.bEndpointAddress;
            break;
          default: break;
        }
      }
      if (e.BulkIn && e.BulkOut && e.InterruptIn) {
        found = e;
        return true;
      }
    }
  }
  return false;
}

UsbCameraId IdOf(libusb_device* device, const libusb_device_descriptor& descriptor) {
  UsbCameraId id;
  id.Bus = libusb_get_bus_number(device);
  const int ports = libusb_get_port_numbers(device, id.Ports, sizeof id.Ports);
  id.PortCount = static_cast<uint8_t>(ports > 0 ? ports : 0);
  id.Vendor = descriptor.idVendor;
  id.Product = descriptor.idProduct;
  return id;
}

bool SameSocket(const UsbCameraId& a, const UsbCameraId& b) {
  return a.Bus == b.Bus && a.PortCount == b.PortCount && std::equal(a.Ports, a.Ports + a.PortCount, b.Ports) &&
         a.Vendor == b.Vendor && a.Product == b.Product;
}

TransferStatus StatusOf(int result) {
  switch (result) {
    case 0: return TransferStatus::Ok;
    case LIBUSB_ERROR_TIMEOUT: return TransferStatus::Timeout;
    case LIBUSB_ERROR_NO_DEVICE: return TransferStatus::Gone;
    case LIBUSB_ERROR_PIPE: return TransferStatus::Stalled;
    default: return TransferStatus::Failed;
  }
}

class UsbTransport final : public PTPTransport {
public:
  UsbTransport(std::shared_ptr<UsbContext> context, libusb_device_handle* handle, Endpoints endpoints)
      : Usb(std::move(context)), Handle(handle), Pipes(endpoints) {}
  ~UsbTransport() override {
    libusb_release_interface(Handle, Pipes.Interface);
    libusb_close(Handle);
  }
  UsbTransport(const UsbTransport&) = delete;
  UsbTransport& operator=(const UsbTransport&) = delete;

  size_t PacketSize() const override { return Pipes.PacketSize; }

  Transfer Send(std::span<const uint8_t> container, int timeoutMs) override {
    int moved = 0;
    // libusb never writes through the pointer of an outgoing transfer.
    int result = libusb_bulk_transfer(Handle, Pipes.BulkOut, const_cast<uint8_t*>(container.data()),
                                      static_cast<int>(container.size()), &moved, timeoutMs);
    if (result == 0 && container.size() % Pipes.PacketSize == 0) {
      int none = 0;
      result = libusb_bulk_transfer(Handle, Pipes.BulkOut, nullptr, 0, &none, timeoutMs);
    }
    return {StatusOf(result), static_cast<size_t>(moved)};
  }

  Transfer Receive(std::span<uint8_t> buffer, int timeoutMs) override {
    int moved = 0;
    const int result = libusb_bulk_transfer(Handle, Pipes.BulkIn, buffer.data(), static_cast<int>(buffer.size()),
                                            &moved, timeoutMs);
    return {StatusOf(result), static_cast<size_t>(moved)};
  }

  TransferStatus Reset() override {
    const int result = libusb_control_transfer(
        Handle, ClassRequestToInterface, ClassRequestReset, 0,
        static_cast<uint16_t>(Pipes.Interface), nullptr, 0, ControlTimeoutMs);
    if (result == LIBUSB_ERROR_NO_DEVICE) return TransferStatus::Gone;
    for (uint8_t endpoint : {Pipes.BulkIn, Pipes.BulkOut, Pipes.InterruptIn})
      if (libusb_clear_halt(Handle, endpoint) == LIBUSB_ERROR_NO_DEVICE) return TransferStatus::Gone;
    return result < 0 ? TransferStatus::Failed : TransferStatus::Ok;
  }

  TransferStatus ClearStall(Pipe pipe) override {
    return StatusOf(libusb_clear_halt(Handle, pipe == Pipe::BulkIn ? Pipes.BulkIn : Pipes.BulkOut));
  }

  TransferStatus Cancel(uint32_t transaction) override {
    uint8_t request[6] = {static_cast<uint8_t>(CancelCode), static_cast<uint8_t>(CancelCode >> 8)};
    for (int i = 0; i < 4; ++i) request[2 + i] = static_cast<uint8_t>(transaction >> (8 * i));
    const int result = libusb_control_transfer(Handle, ClassRequestToInterface, ClassRequestCancel, 0,
                                               static_cast<uint16_t>(Pipes.Interface), request, sizeof request,
                                               StatusRequestMs);
    return result < 0 ? StatusOf(result) : TransferStatus::Ok;
  }

  // The status record: its length (16 bits), the response code, then
  // endpoints that are halted (not needed: stalls are cleared anyway).
  uint16_t DeviceStatus() override {
    uint8_t record[32] = {};
    const int result = libusb_control_transfer(Handle, ClassRequestFromInterface, ClassRequestDeviceStatus, 0,
                                               static_cast<uint16_t>(Pipes.Interface), record, sizeof record,
                                               StatusRequestMs);
    if (result < 4) return 0;
    return static_cast<uint16_t>(record[2] | record[3] << 8);
  }

  uint64_t NowMs() override {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
  }
  void SleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

private:
  std::shared_ptr<UsbContext> Usb;
  libusb_device_handle* Handle;
  Endpoints Pipes;
};

}  // namespace

namespace {

// Calls `visit(device, descriptor, endpoints)` for every camera on the USB
// until it returns true.
template <class Visit>
void ForEachCamera(Visit visit) {
  libusb_context* context = Context()->get();
  if (context == nullptr) return;
  libusb_device** devices = nullptr;
  const ssize_t count = libusb_get_device_list(context, &devices);
  if (count < 0) return;
  auto free = ScopeExit([&] { libusb_free_device_list(devices, 1); });
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device_descriptor descriptor{};
    Endpoints endpoints;
    if (libusb_get_device_descriptor(devices[i], &descriptor) == 0 && FindEndpoints(devices[i], endpoints) &&
        visit(devices[i], descriptor, endpoints))
      return;
  }
}

}  // namespace

std::vector<UsbCameraId> ListUsbCameras() {
  std::vector<UsbCameraId> cameras;
  ForEachCamera([&](libusb_device* device, const libusb_device_descriptor& descriptor, const Endpoints&) {
    UsbCameraId id = IdOf(device, descriptor);
    char text[128] = {};
    libusb_device_handle* handle = nullptr;
    if (descriptor.iProduct != 0 && libusb_open(device, &handle) == 0) {
      const int length = libusb_get_string_descriptor_ascii(handle, descriptor.iProduct,
                                                            reinterpret_cast<unsigned char*>(text), sizeof text - 1);
      libusb_close(handle);
      if (length > 0) id.Model.assign(text, static_cast<size_t>(length));
    }
    if (id.Model.empty()) {
      std::snprintf(text, sizeof text, "USB camera %04X:%04X", id.Vendor, id.Product);
      id.Model = text;
    }
    cameras.push_back(id);
    return false;
  });
  return cameras;
}

std::unique_ptr<PTPTransport> OpenUsbCamera(const UsbCameraId& wanted, TSDKStatus& status) {
  status = StatusCameraGone;
  std::unique_ptr<PTPTransport> opened;
  ForEachCamera([&](libusb_device* device, const libusb_device_descriptor& descriptor, const Endpoints& endpoints) {
    if (!SameSocket(IdOf(device, descriptor), wanted)) return false;
    libusb_device_handle* handle = nullptr;
    const int result = libusb_open(device, &handle);
    if (result != 0) {
      status = result == LIBUSB_ERROR_ACCESS ? StatusAccessDenied : StatusCameraGone;
      return true;
    }
    libusb_set_auto_detach_kernel_driver(handle, 1);
    const int claimed = libusb_claim_interface(handle, endpoints.Interface);
    if (claimed != 0) {
      libusb_close(handle);
      status = claimed == LIBUSB_ERROR_BUSY     ? StatusDeviceBusy
               : claimed == LIBUSB_ERROR_ACCESS ? StatusAccessDenied
                                                : StatusCameraGone;
      return true;
    }
    status = SDKOk;
    opened = std::make_unique<UsbTransport>(Context(), handle, endpoints);
    return true;
  });
  return opened;
}

}  // namespace korv::usbcam
