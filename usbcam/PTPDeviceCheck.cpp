// Checks this library against a PTP device it was not written with
// (scripts/usb-independent-device runs it against QEMU's emulated MTP
// device in a small guest). Three passes over the first PTP device on the USB:
//   1. the library's own session and USB transport: session, DeviceInfo,
//      storages, object handles and infos, two operations the device lacks;
//   2. the PR library's entries (bin/usb/PRSDK.DLL through the program's
//      loader): device list, connection, DeviceInfo, every object fetched
//      by PR_RC_GetReleasedData into OUTDIR under its own name, an operation
//      the device lacks;
//   3. the class's Device Reset, and a session opened again after it.
//   usbcam_check OUTDIR
// One line per step, "korv-check <step> ok|FAIL ..."; exit status 0 when
// every step is ok. The caller compares the files written with the device's.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "camera/sdk/PRAPI.h"
#include "camera/sdkapi/PRDataBlock.h"
#include "camera/sdkapi/PTPDataset.h"
#include "usbcam/UntypedEntry.h"
#include "runtime/ByteReader.h"
#include "runtime/ScopeExit.h"
#include "usbcam/PRCamera.h"
#include "usbcam/PTPSession.h"
#include "usbcam/UsbTransport.h"

using namespace korv;
using namespace korv::usbcam;

namespace {

constexpr uint16_t OpGetStorageIDs = 0x1004, OpGetObjectHandles = 0x1007, OpGetObjectInfo = 0x1008;
constexpr uint16_t FormatAssociation = 0x3001;  // a folder
constexpr uint32_t AllStorages = 0xFFFFFFFF, RootFolder = 0xFFFFFFFF;

int Failures = 0;

bool Step(const char* step, bool ok, const std::string& detail) {
  std::printf("korv-check %s %s %s\n", step, ok ? "ok" : "FAIL", detail.c_str());
  std::fflush(stdout);
  if (!ok) ++Failures;
  return ok;
}

std::string Hex(uint32_t value, int digits = 4) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

// A PTP string (count of 16-bit characters with the zero), ASCII kept.
std::string ReadString(ByteReader& reader) {
  const uint8_t count = reader.U8();
  std::string text;
  for (uint8_t i = 0; i < count; ++i) {
    const uint16_t c = reader.U16();
    if (c != 0) text += c < 0x80 ? static_cast<char>(c) : '?';
  }
  return text;
}

void SkipArray(ByteReader& reader, size_t width) { reader.Skip(static_cast<size_t>(reader.U32()) * width); }

std::string DescribeDeviceInfo(const std::vector<uint8_t>& info) {
  ByteReader reader(info);
  reader.Skip(8);  // standard version, vendor extension id and version
  ReadString(reader);
  reader.Skip(2);  // functional mode
  for (int arrays = 0; arrays < 5; ++arrays) SkipArray(reader, 2);
  const std::string manufacturer = ReadString(reader), model = ReadString(reader), version = ReadString(reader);
  const auto parsed = ParseDeviceInfo(info, DeviceInfoExtent::DeviceProperties);
  return std::to_string(info.size()) + " bytes, manufacturer \"" + manufacturer + "\", model \"" + model +
         "\", version \"" + version + "\", " + std::to_string(parsed.Operations.size()) + " operations" +
         (reader.Ok() ? "" : " (dataset cut short)");
}

struct Object {
  uint32_t Handle = 0;
  uint16_t Format = 0;
  uint32_t Size = 0;
  std::string Name;
};

// The first PTP device on the USB, claimed through the library's transport.
std::unique_ptr<PTPTransport> Claim() {
  const auto cameras = ListUsbCameras();
  std::string names;
  for (const auto& camera : cameras)
    names += " " + Hex(camera.Vendor) + ":" + Hex(camera.Product) + " \"" + camera.Model + "\"";
  if (!Step("list", !cameras.empty(), std::to_string(cameras.size()) + " PTP device(s):" + names)) return nullptr;
  TSDKStatus status = 0;
  auto transport = OpenUsbCamera(cameras.front(), status);
  Step("claim", transport != nullptr, "status " + Hex(status));
  return transport;
}

// A transaction whose data phase is collected into `data`.
TSDKStatus Read(PTPSession& session, uint16_t operation, std::vector<uint32_t> parameters,
                std::vector<uint8_t>& data) {
  data.clear();
  return session.Transact(operation, parameters, nullptr,
                          [&](std::span<const uint8_t> piece, uint64_t) {
                            data.insert(data.end(), piece.begin(), piece.end());
                            return SDKOk;
                          },
                          session.Transport().NowMs() + TransactionDeadlineMs);
}

// Pass 1: the session and the transport of the library. The session stays
// open: the device numbers its objects per session.
std::vector<Object> SessionPass(std::vector<uint8_t>& deviceInfo) {
  auto transport = Claim();
  if (!transport) return {};
  PTPSession session(*transport);
  auto deadline = [&] { return transport->NowMs() + TransactionDeadlineMs; };
  auto read = [&](uint16_t operation, std::vector<uint32_t> parameters, std::vector<uint8_t>& data) {
    return Read(session, operation, std::move(parameters), data);
  };
  TSDKStatus status = 0;
  status = session.Open(deadline());
  if (!Step("open-session", status == SDKOk, "status " + Hex(status))) return {};
  status = read(PTPOpGetDeviceInfo, {}, deviceInfo);
  Step("deviceinfo", status == SDKOk, "status " + Hex(status) + ", " + DescribeDeviceInfo(deviceInfo));

  std::vector<uint8_t> data;
  status = read(OpGetStorageIDs, {}, data);
  ByteReader storages(data);
  const uint32_t storageCount = storages.U32();
  Step("storages", status == SDKOk && storageCount > 0, "status " + Hex(status) + ", " + std::to_string(storageCount));
  status = read(OpGetObjectHandles, {AllStorages, 0, RootFolder}, data);
  ByteReader handles(data);
  std::vector<Object> objects(handles.U32());
  for (auto& object : objects) object.Handle = handles.U32();
  if (!handles.Ok()) objects.clear();
  Step("object-handles", status == SDKOk && !objects.empty(),
       "status " + Hex(status) + ", " + std::to_string(objects.size()) + " objects");
  for (auto& object : objects) {
    status = read(OpGetObjectInfo, {object.Handle}, data);
    ByteReader info(data);
    info.Skip(4);
    object.Format = info.U16();
    info.Skip(2);
    object.Size = info.U32();
    info.Seek(52);
    object.Name = ReadString(info);
    Step("object-info", status == SDKOk && info.Ok() && !object.Name.empty() && object.Name.find('/') == std::string::npos,
         Hex(object.Handle, 8) + " " + Hex(object.Format) + " " + std::to_string(object.Size) + " " + object.Name);
  }

  // Operations the device lacks end in its own status, and the session goes on.
  for (const uint16_t lacking : {PTPOpInitiateReleaseControl, PTPOpInitiateCaptureInMemory}) {
    status = session.Transact(lacking, {}, nullptr, nullptr, deadline());
    const bool fromDevice = status > 0x2001 && status <= 0x2FFF && status != StatusWrongTransaction &&
                            status != StatusIncompleteTransfer && !session.Broken();
    Step("unsupported-operation", fromDevice, Hex(lacking) + " answered " + Hex(status));
  }
  std::vector<uint8_t> again;
  status = read(PTPOpGetDeviceInfo, {}, again);
  Step("session-goes-on", status == SDKOk && again == deviceInfo, "status " + Hex(status));

  return objects;
}

// Pass 2: the PR library's entries, as the camera component calls them.

std::ofstream Output;
uint64_t Written = 0;
uint32_t LastPercent = 0;
bool Ended = false, PercentRose = true;

TSDKStatus OnData(uint32_t, uint32_t, uint32_t, const void* block) {
  const auto [percent, length, chunk] = ReadPRDataBlock(block);
  PercentRose = PercentRose && percent >= LastPercent && percent <= 100;
  LastPercent = percent;
  if (length == 0) Ended = true;
  else Output.write(chunk, length), Written += length;
  return 0;
}

void EntryPass(const std::vector<Object>& objects, const std::vector<uint8_t>& deviceInfo, const std::string& outDir) {
  LoadPRSDK();
  if (!Step("load-library", PRSDKLibrary().loaded(), "usb/PRSDK.DLL")) return;
  TSDKStatus status = PR_StartSDK();
  std::vector<uint8_t> list(PRDeviceListBufferSize);
  uint32_t size = static_cast<uint32_t>(list.size());
  status = PR_GetDeviceList(&size, list.data());
  ByteReader reader(list.data(), size);
  const uint32_t count = reader.U32();
  const auto record = reader.Bytes(PRDeviceRecordSize);
  if (!Step("device-list", status == SDKOk && count > 0 && !record.empty(),
            "status " + Hex(status) + ", " + std::to_string(count) + " camera(s)"))
    return;
  TSDKHandle camera = 0;
  status = PR_CreateCameraObject(record.data(), &camera);
  if (status == SDKOk) status = PR_ConnectCamera(camera);
  if (!Step("connect", status == SDKOk, "status " + Hex(status))) return;
  auto disconnect = ScopeExit([&] { UntypedEntry<TPRCamera>("PR_DisconnectCamera")(camera); });

  std::vector<uint8_t> info(PRDatasetBufferSize);
  size = PRDatasetBufferSize;
  status = PR_GetDeviceInfo(camera, &size, info.data());
  info.resize(status == SDKOk ? size : 0);
  Step("entry-deviceinfo", status == SDKOk && info == deviceInfo,
       "status " + Hex(status) + ", " + std::to_string(info.size()) + " bytes, " +
           (info == deviceInfo ? "the same as the session's" : "NOT the same as the session's"));

  for (const Object& object : objects) {
    if (object.Format == FormatAssociation) continue;
    Output.open(outDir + "/" + object.Name, std::ios::binary | std::ios::trunc);
    Written = LastPercent = 0;
    Ended = false, PercentRose = true;
    status = PR_RC_GetReleasedData(camera, object.Handle, PREventObjectAdded, PRTransferBlockSize, 0, OnData);
    Output.close();
    Step("get-object", status == SDKOk && Ended && Written == object.Size && PercentRose && LastPercent == 100,
         object.Name + " status " + Hex(status) + ", " + std::to_string(Written) + " of " +
             std::to_string(object.Size) + " bytes, last percent " + std::to_string(LastPercent));
  }

  status = PR_InitiateReleaseControl(camera);
  Step("entry-unsupported-operation", status != SDKOk && status != StatusTimeout && status != StatusIncompleteTransfer,
       "PR_InitiateReleaseControl answered " + Hex(status));
  size = PRDatasetBufferSize;
  info.resize(size);
  status = PR_GetDeviceInfo(camera, &size, info.data());
  Step("entry-goes-on", status == SDKOk, "status " + Hex(status));
}

// Pass 3: the class's Device Reset: whatever the device answers, it
// answers in time, and a new session works after it.
void ResetPass(const std::vector<uint8_t>& deviceInfo) {
  auto transport = Claim();
  if (!transport) return;
  PTPSession session(*transport);
  auto deadline = [&] { return transport->NowMs() + TransactionDeadlineMs; };
  std::vector<uint8_t> again;
  TSDKStatus status = 0;
  const uint64_t before = transport->NowMs();
  status = session.Reset();
  Step("device-reset", transport->NowMs() - before < 10000,
       "status " + Hex(status) + " after " + std::to_string(transport->NowMs() - before) + " ms");
  status = session.Open(deadline());
  Step("open-after-reset", status == SDKOk, "status " + Hex(status));
  status = Read(session, PTPOpGetDeviceInfo, {}, again);
  Step("deviceinfo-after-reset", status == SDKOk && again == deviceInfo, "status " + Hex(status));
  status = session.Transact(PTPOpCloseSession, {}, nullptr, nullptr, deadline());
  Step("close-session", status == SDKOk, "status " + Hex(status));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: usbcam_check OUTDIR\n");
    return 2;
  }
  std::vector<uint8_t> deviceInfo;
  const auto objects = SessionPass(deviceInfo);
  if (Failures == 0) EntryPass(objects, deviceInfo, argv[1]);
  if (Failures == 0) ResetPass(deviceInfo);
  std::printf("korv-check result %s (%d failed)\n", Failures == 0 ? "pass" : "FAIL", Failures);
  return Failures == 0 ? 0 : 1;
}
