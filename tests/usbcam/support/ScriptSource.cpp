// The cameras of the hand tool's PRSDK.DLL: the USB, or with KORV_USB_SCRIPT
// naming a script file (or after UsbCamLoadScript) only the scripted device
// of that script; plus the two control entries the tests call.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>

#include "tests/usbcam/support/ScriptedDevice.h"
#include "usbcam/CameraSource.h"
#include "usbcam/PTPSession.h"

#define USBCAM_EXPORT extern "C" __attribute__((visibility("default")))

namespace korv::usbcam {

namespace {

constexpr uint8_t ScriptSource = 1;

struct Scripts {
  bool Checked = false;
  std::optional<DeviceScript> Script;  // none: the USB
  std::shared_ptr<ScriptedDevice> Last;
  std::optional<std::chrono::steady_clock::time_point> BackAt;
};

Scripts& State() {
  static Scripts scripts;
  return scripts;
}

// The script of KORV_USB_SCRIPT, read once; a file that can't be read or
// parsed is reported and attaches no camera at all.
void CheckScriptFile(Scripts& s) {
  if (s.Checked) return;
  s.Checked = true;
  const char* path = std::getenv("KORV_USB_SCRIPT");
  if (path == nullptr || *path == '\0') return;
  std::ifstream file(path);
  const std::string text((std::istreambuf_iterator<char>(file)), {});
  uint32_t badLine = 0;
  s.Script = file ? ParseDeviceScript(text, badLine) : std::nullopt;
  if (!s.Script) {
    std::cerr << "PRSDK.DLL: script " << path << (file ? " has a bad line " + std::to_string(badLine) : " can't be read")
              << "; no camera attached" << std::endl;
    s.Script = DeviceScript{};
    s.Script->Model.clear();  // marks the script as attaching nothing
  }
}

// A scripted camera that unplugged itself ("unplug after N for S") stays off
// the bus for S seconds of the library's own clock, once.
bool ScriptAway(Scripts& s) {
  if (s.Last && s.Last->Gone() && s.Script && s.Script->UnplugAfter != 0) {
    s.BackAt = std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                      std::chrono::duration<double>(s.Script->UnplugSeconds));
    s.Script->UnplugAfter = 0;
  }
  return s.BackAt && std::chrono::steady_clock::now() < *s.BackAt;
}

}  // namespace

std::vector<SourceCamera> ListSourceCameras() {
  Scripts& s = State();
  CheckScriptFile(s);
  std::vector<SourceCamera> cameras;
  if (!s.Script) {
    for (const UsbCameraId& id : ListUsbCameras()) cameras.push_back({UsbCameraSource, id, id.Model});
  } else if (!s.Script->Model.empty() && !ScriptAway(s)) {
    cameras.push_back({ScriptSource, {}, s.Script->Model});
  }
  return cameras;
}

std::shared_ptr<PTPTransport> OpenSourceCamera(uint8_t source, const UsbCameraId& id, TSDKStatus& status) {
  if (source == UsbCameraSource) return OpenUsbCamera(id, status);
  Scripts& s = State();
  CheckScriptFile(s);
  if (!s.Script || s.Script->Model.empty() || ScriptAway(s)) {
    status = StatusCameraGone;
    return nullptr;
  }
  s.Last = std::make_shared<ScriptedDevice>(*s.Script);
  return s.Last;
}

}  // namespace korv::usbcam

using namespace korv::usbcam;

// Replaces the USB by the scripted device of `text` (null: back to the USB)
// and drops every camera object. Returns 0, or the number of the first line
// it can't read (nothing changes then).
USBCAM_EXPORT uint32_t UsbCamLoadScript(const char* text) {
  std::lock_guard lock(LibraryLock());
  std::optional<DeviceScript> script;
  if (text != nullptr) {
    uint32_t badLine = 0;
    script = ParseDeviceScript(text, badLine);
    if (!script) return badLine;
  }
  DropCameraObjects();
  State() = Scripts{true, std::move(script), nullptr, std::nullopt};
  return 0;
}

// The transcript of the scripted device connected last, one line per
// event (ScriptedDevice.h), zero-terminated and cut to fit; returns its
// full length.
USBCAM_EXPORT uint32_t UsbCamReadTranscript(char* buffer, uint32_t size) {
  std::lock_guard lock(LibraryLock());
  std::string text;
  if (State().Last)
    for (const std::string& line : State().Last->Transcript()) text += line + "\n";
  if (buffer != nullptr && size > 0) {
    const size_t copied = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), copied);
    buffer[copied] = '\0';
  }
  return static_cast<uint32_t>(text.size());
}
