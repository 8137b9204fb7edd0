// The unchanged camera component with the hand tool's cameras chosen
// (KORV_CAMERA=usb-try): it loads bin/usb-try/PRSDK.DLL and the CD and EOS libraries that list no
// cameras through the loaders, and drives the scripted PTP device from
// enumeration to the picture files.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "camera/Obturo.h"
#include "camera/sdk/PRAPI.h"
#include "tests/camera/RaisedMessage.h"
#include "tests/support/TempDir.h"
#include "tests/usbcam/support/ScriptedDevice.h"

namespace korv {
namespace {

using test::ReadFile;

class UsbComponentTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    setenv("KORV_CAMERA", "usb-try", 1);
    LoadPRSDK();
  }
  template <class F>
  static F* Control(const char* name) {
    void* symbol = dlsym(PRSDKLibrary().handle(), name);
    if (symbol == nullptr) throw std::runtime_error(std::string("no control entry ") + name);
    F* function = nullptr;
    std::memcpy(&function, &symbol, sizeof function);
    return function;
  }
  static void Script(const std::string& text) {
    ASSERT_EQ(Control<uint32_t(const char*)>("UsbCamLoadScript")(text.c_str()), 0u);
  }
  // The commands that reached the device: "0x1002 tid 0", ...
  static std::vector<std::string> Commands() {
    auto read = Control<uint32_t(char*, uint32_t)>("UsbCamReadTranscript");
    std::string text(read(nullptr, 0) + 1, '\0');
    read(text.data(), static_cast<uint32_t>(text.size()));
    std::istringstream lines(text);
    std::vector<std::string> commands;
    for (std::string line; std::getline(lines, line);)
      if (line.rfind("cmd ", 0) == 0) commands.push_back(line.substr(4));
    return commands;
  }
  // Connected and in remote mode, picture data only, each announced picture
  // fetched into the next file as the station does it.
  void Start(TObturo& camera, bool probe) {
    const TCameraLists lists = camera.EnumerateCameras();
    ASSERT_EQ(*lists.PowerShotNames, std::vector<std::string>{"Canon PowerShot G9"});
    ASSERT_TRUE(lists.EOSNames->empty());
    Info = camera.Connect(CameraKindPowerShot, 0);
    camera.OnRemoteProbeParamEvent = [this](int32_t percent) { Progress.push_back(percent); };
    Capabilities = camera.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, probe);
    camera.OnRemoteEvent = [this, &camera](RemoteEventCallbackType event, AdditionNotifyRemoteEventType) {
      if (event != RemoteEventCallbackReleaseComplete) return;
      Files.push_back(Folder.file("pic" + std::to_string(Files.size()) + ".jpg"));
      camera.GetReleasedPicture(Files.back());
    };
  }

  test::TempDir Folder;
  ConnectInfoType Info;
  TRemoteCapabilities Capabilities{};
  std::vector<int32_t> Progress;
  std::vector<std::string> Files;
};

std::string Pattern(uint32_t size, uint32_t index) {
  const auto bytes = usbcam::PatternPicture(size, index);
  return {bytes.begin(), bytes.end()};
}

TEST_F(UsbComponentTest, EnumerateConnectProbeTakeAndFetchWritePicturesOfEverySizeByteIdentical) {
  const std::vector<uint32_t> sizes{0, 512, 1536, 65524, 100000, 100001};
  std::string script = "eventdelay 1\npictures";
  for (uint32_t size : sizes) script += " " + std::to_string(size);
  Script(script);
  TObturo camera;
  Start(camera, true);
  EXPECT_EQ(Info.Kind, CameraKindPowerShot);
  EXPECT_EQ(Info.ModelName, "Canon PowerShot G9");
  EXPECT_EQ(Info.CameraOwner, "Sky Station");
  EXPECT_EQ(Info.BatteryKind, 1);
  EXPECT_EQ(Info.BatteryLevel, 3);
  EXPECT_TRUE(camera.IsRemoteCapable());
  EXPECT_EQ(Capabilities[CapZoom], 1);
  EXPECT_EQ(Capabilities[CapImageSizeBase], 0);  // listed, so probed
  ASSERT_EQ(Progress.size(), 18u);
  EXPECT_EQ(Progress.back(), 100);
  const TZoomInfo zoom = camera.GetZoomInfo();
  EXPECT_EQ(zoom.MaxPosition2, 19u);  // a G9's zoom range

  for (size_t i = 0; i < sizes.size(); ++i) {
    SCOPED_TRACE(sizes[i]);
    camera.TakePicture();
    ASSERT_EQ(Files.size(), i + 1);
    EXPECT_EQ(ReadFile(Files[i]), Pattern(sizes[i], static_cast<uint32_t>(i)));
  }
  const auto commands = Commands();
  ASSERT_GE(commands.size(), 4u);
  EXPECT_EQ(commands[0], "0x1002 tid 0 p 0x1");
  auto count = [&](const std::string& operation, const std::string& parameters = "") {
    return std::count_if(commands.begin(), commands.end(), [&](const std::string& c) {
      return c.rfind(operation + " ", 0) == 0 && c.find(parameters) != std::string::npos;
    });
  };
  EXPECT_EQ(count("0x9008"), 1);
  EXPECT_EQ(count("0x1016", "p 0xD029"), 1);
  EXPECT_EQ(count("0x901A"), static_cast<ptrdiff_t>(sizes.size()));
  EXPECT_EQ(count("0x1009"), static_cast<ptrdiff_t>(sizes.size()));
  for (size_t i = 0; i < commands.size(); ++i) EXPECT_NE(commands[i].find(" tid " + std::to_string(i)), std::string::npos);
}

TEST_F(UsbComponentTest, CameraFaultsReachTheComponentAsLibraryErrorsAndLeaveNoFileOpen) {
  struct Case {
    const char* Script;
    std::string Message;
  };
  const Case cases[] = {
      {"respond 0x9008 0x2019", "PR_InitiateReleaseControl errorcode 0x00002019, Device busy"},
      {"respond 0x901A 0x2005", "PR_RC_Release errorcode 0x00002005, Operation not supported"},
      {"silent", "PR_RC_Release errorcode 0x00000062, Wait timeout error"},
      {"shortdata 0x1009", "PR_RC_GetReleasedData errorcode 0x00002007, Incomplete transfer"},
      {"gone 0x1009 70000", "PR_RC_GetReleasedData errorcode 0x0000000B, Selection unavailable"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Script);
    Script(std::string("eventdelay 0\n") + c.Script);
    TObturo camera;
    std::string message;
    try {
      Start(camera, false);
      camera.TakePicture();
    } catch (const std::exception& e) {
      message = e.what();
    }
    EXPECT_EQ(message, c.Message);
    // A picture cut short is not passed off as whole: what was written is
    // less than the picture.
    if (!Files.empty()) {
      EXPECT_LT(ReadFile(Files.back()).size(), 100000u);
    }
    Files.clear();
  }
}

TEST_F(UsbComponentTest, TheUsbIsListedWithStatusZeroEvenWithoutAnyUsb) {
  ASSERT_EQ(Control<uint32_t(const char*)>("UsbCamLoadScript")(nullptr), 0u);
  std::vector<uint8_t> list(PRDeviceListBufferSize);
  uint32_t size = static_cast<uint32_t>(list.size());
  ASSERT_EQ(PR_GetDeviceList(&size, list.data()), SDKOk);
  uint32_t count = 0;
  std::memcpy(&count, list.data(), 4);
  EXPECT_EQ(size, 4 + count * PRDeviceRecordSize);
}

}  // namespace
}  // namespace korv

namespace korv {
namespace {

TEST_F(UsbComponentTest, TheOwnerReachesTheBackendAsTheCameraSentItInEitherForm) {
  // 8-bit characters as cameras send them, the zero counted, handed through
  // byte for byte: a 15-letter name (a[16]), none (a[1]), an empty array
  // (a[0]); a PTP string.
  const std::pair<std::string, std::string> cases[] = {{"owner Sky Station", "Sky Station"},
                                                       {"owner Fifteen letters", "Fifteen letters"},
                                                       {"owner Tető kamera", "Tető kamera"},
                                                       {"owner", ""},
                                                       {"owner-empty", ""},
                                                       {"owner-ptpstring Sky", "Sky"}};
  for (const auto& [line, owner] : cases) {
    SCOPED_TRACE(line);
    Script(line);
    TObturo camera;
    Start(camera, false);
    EXPECT_EQ(Info.CameraOwner, owner);
  }
}

// A camera whose makers dropped remote capture: the component hears it when
// it enters remote mode, and the camera is never asked to release.
TEST_F(UsbComponentTest, ACameraWithoutRemoteCaptureIsRefusedBeforeAnyRelease) {
  Script("devicereport " KORV_DEVICES_DIR "/g11.report");
  TObturo camera;
  camera.EnumerateCameras();
  camera.Connect(CameraKindPowerShot, 0);
  EXPECT_FALSE(camera.IsRemoteCapable());
  EXPECT_EQ(test::MessageOf([&] { camera.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false); }),
            "PR_InitiateReleaseControl errorcode 0x00000070, remote capture not available on this camera");
  for (const std::string& command : Commands()) EXPECT_NE(command.substr(0, 6), "0x9008") << command;
}

TEST_F(UsbComponentTest, AnUnpluggedCameraIsForgottenAndConnectedAgainOnceItIsBack) {
  Script("eventdelay 0\nunplug after 1 for 1");
  TObturo camera;
  Start(camera, false);
  camera.TakePicture();
  ASSERT_EQ(Files.size(), 1u);
  EXPECT_EQ(test::MessageOf([&] { camera.TakePicture(); }), "PR_RC_Release errorcode 0x0000000B, Selection unavailable");
  EXPECT_EQ(camera.ConnectInfo().Kind, CameraKindNone) << "the component forgot the camera";
  EXPECT_TRUE(camera.EnumerateCameras().PowerShotNames->empty()) << "gone from the device list";
  bool back = false;
  for (int i = 0; i < 100 && !back; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    back = !camera.EnumerateCameras().PowerShotNames->empty();
  }
  ASSERT_TRUE(back);
  Start(camera, false);
  camera.TakePicture();
  EXPECT_EQ(Files.size(), 2u);
}

}  // namespace
}  // namespace korv
