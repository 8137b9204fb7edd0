// Trying a real camera by hand (scripts/usb-camera-try): lists the PTP
// cameras on the USB, connects one, writes its DeviceInfo (raw, and the
// operations, events and properties it lists), takes one picture and writes
// it into a file, all through the program's loader and the hand tool's
// build of the USB PRSDK.DLL (usb-try/, which also plays scripted cameras).
//   usbcam_try [camera number] [picture file]
// Needs KORV_CAMERA=usb-try (the script sets it). Exit status 0 only when the
// picture was written whole.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "camera/sdk/CamErrors.h"
#include "camera/sdk/PRAPI.h"
#include "camera/sdkapi/PRDataBlock.h"
#include "camera/sdkapi/PTPDataset.h"
#include "usbcam/UntypedEntry.h"
#include "runtime/ByteReader.h"

using namespace korv;
using korv::usbcam::UntypedEntry;

namespace {

std::ofstream Picture;
uint64_t Written = 0;
bool Ended = false;
std::vector<std::vector<uint8_t>> Releases;

bool Check(const char* step, TSDKStatus status) {
  if (status == SDKOk) return true;
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", status);
  std::cerr << step << " failed: " << code << ", " << PRErrorText(status) << std::endl;
  return false;
}

void PrintCodes(const char* title, const std::vector<uint16_t>& codes) {
  std::printf("%s (%zu):", title, codes.size());
  for (uint16_t code : codes) std::printf(" 0x%04X", code);
  std::printf("\n");
}

TSDKStatus OnEvent(uint32_t, uint32_t, const void* record) {
  ByteReader reader(record, PREventRecordSize);
  reader.Seek(PREventCodeOffset);
  const uint16_t code = reader.U16();
  reader.Seek(PREventObjectHandleOffset);
  std::printf("event 0x%04X, parameter 0x%08X\n", code, reader.U32());
  if (code == PREventObjectAdded) {
    const auto* bytes = static_cast<const uint8_t*>(record);
    Releases.emplace_back(bytes, bytes + PREventRecordSize);
  }
  return 0;
}

TSDKStatus OnData(uint32_t, uint32_t, uint32_t, const void* block) {
  const auto [percent, length, chunk] = ReadPRDataBlock(block);
  if (length == 0) Ended = true;
  else Picture.write(chunk, length), Written += length;
  std::printf("\r%3u %%", percent);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const uint32_t number = argc > 1 ? static_cast<uint32_t>(std::atoi(argv[1])) : 0;
  const std::string file = argc > 2 ? argv[2] : "usb-camera-picture.jpg";
  LoadPRSDK();
  if (!PRSDKLibrary().loaded()) {
    std::cerr << "PRSDK.DLL could not be loaded (is KORV_CAMERA=usb-try set?)" << std::endl;
    return 2;
  }
  if (!Check("PR_StartSDK", PR_StartSDK())) return 1;

  std::vector<uint8_t> list(PRDeviceListBufferSize);
  uint32_t size = static_cast<uint32_t>(list.size());
  if (!Check("PR_GetDeviceList", PR_GetDeviceList(&size, list.data()))) return 1;
  ByteReader reader(list.data(), size);
  const uint32_t count = reader.U32();
  std::printf("%u PTP camera(s) on the USB\n", count);
  std::vector<std::vector<uint8_t>> records;
  for (uint32_t i = 0; i < count; ++i) {
    const auto record = reader.Bytes(PRDeviceRecordSize);
    if (record.empty()) break;
    records.emplace_back(record.begin(), record.end());
    std::string name;
    ByteReader text(record.data(), record.size());
    text.Seek(PRDeviceModelNameOffset);
    for (uint16_t c; text.Remaining() >= 2 && (c = text.U16()) != 0;) name += c < 0x80 ? static_cast<char>(c) : '?';
    std::printf("  %u: %s\n", i, name.c_str());
  }
  if (number >= records.size()) {
    std::cerr << "no camera " << number << std::endl;
    return 1;
  }

  TSDKHandle camera = 0;
  if (!Check("PR_CreateCameraObject", PR_CreateCameraObject(records[number].data(), &camera))) return 1;
  if (!Check("PR_ConnectCamera", PR_ConnectCamera(camera))) return 1;
  std::vector<uint8_t> info(PRDatasetBufferSize);
  size = PRDatasetBufferSize;
  if (!Check("PR_GetDeviceInfo", PR_GetDeviceInfo(camera, &size, info.data()))) return 1;
  info.resize(size);
  std::ofstream("usb-camera-deviceinfo.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(info.data()), static_cast<std::streamsize>(info.size()));
  std::printf("DeviceInfo: %u bytes, written to usb-camera-deviceinfo.bin\n", size);
  const PTPDeviceInfo parsed = ParseDeviceInfo(info, DeviceInfoExtent::DeviceProperties);
  PrintCodes("operations", parsed.Operations);
  PrintCodes("events", parsed.Events);
  PrintCodes("properties", parsed.DeviceProperties);

  if (!Check("PR_SetEventCallBack", PR_SetEventCallBack(camera, 0, OnEvent))) return 1;
  if (!Check("PR_InitiateReleaseControl", PR_InitiateReleaseControl(camera))) return 1;
  const uint8_t pictureToComputer[] = {2, 0};
  if (!Check("PR_SetDevicePropValue 0xD029", PR_SetDevicePropValue(camera, PRPropCaptureTransferMode, 2,
                                                                   pictureToComputer)))
    return 1;
  std::printf("releasing...\n");
  const bool released = Check("PR_RC_Release", PR_RC_Release(camera));
  bool whole = false;
  if (released && !Releases.empty()) {
    Picture.open(file, std::ios::binary | std::ios::trunc);
    ByteReader release(Releases.front().data(), PREventRecordSize);
    release.Seek(PREventObjectHandleOffset);
    whole = Check("PR_RC_GetReleasedData", PR_RC_GetReleasedData(camera, release.U32(), PREventObjectAdded,
                                                                 PRTransferBlockSize, 0, OnData)) &&
            Ended;
    Picture.close();
    std::printf("\n%llu bytes written to %s\n", static_cast<unsigned long long>(Written), file.c_str());
  }
  Check("PR_TerminateReleaseControl", UntypedEntry<TPRCamera>("PR_TerminateReleaseControl")(camera));
  Check("PR_DisconnectCamera", UntypedEntry<TPRCamera>("PR_DisconnectCamera")(camera));
  return whole ? 0 : 1;
}
