// The whole station with the hand tool's cameras chosen (KORV_CAMERA=usb-try):
// the window, the USB PRSDK.DLL of usb-try/ playing the scripted PTP camera of KORV_USB_SCRIPT, and
// vsftpd, with the real timer at the shortest interval. The camera does at
// once everything real cameras are documented to do: slow answers and
// pauses (in its own time), release control still on, queued mode and
// stale picture events, busy at first, only the picture's event, a stall,
// the owner as 8-bit characters, and it is unplugged for a second.
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "camera/Obturo.h"
#include "camera/sdk/PRAPI.h"
#include "tests/station/StationFixture.h"
#include "tests/station/TestJpeg.h"
#include "tests/support/Vsftpd.h"

namespace korv::test {
namespace {

constexpr const char* EveryBehaviour = R"(owner Tető kamera
latency 0x901A 6000 1000
latency 0x1015 9000 5
gap 20000
respond 0x9008 0xA009
modeevent
stale 0xC008 2
respond 0x901A 0x2019 3
onlyfull
stall 0x1009
unplug after 2 for 1
)";

class UsbStationTest : public StationTest {
protected:
  void SetUp() override {
    if (auto why = Vsftpd::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    const auto jpeg = MakeJpeg(320, 240);
    Picture.assign(jpeg.begin(), jpeg.end());
    WriteFile(Scripts.file("sky.jpg"), Picture);
    WriteFile(Scripts.file("camera.txt"), "model Canon PowerShot G9\neventdelay 1\npicturefile " +
                                              Scripts.file("sky.jpg") + "\n" + EveryBehaviour);
    setenv("KORV_CAMERA", "usb-try", 1);
    setenv("KORV_USB_SCRIPT", Scripts.file("camera.txt").c_str(), 1);
    // An address of its own: no other test's server can stand in the way.
    Server = std::make_unique<Vsftpd>(Vsftpd::Options{.address = "127.0.0.23"});
  }

  // Serves the window (timer ticks included) until `done` holds, at most 60 s.
  static bool RunUntil(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
  }

  // Connects camera 0, takes pictures until two are uploaded and stops;
  // returns them.
  std::vector<std::string> TakeTwoPictures(TForm1& form) {
    std::vector<std::string> uploaded;
    QObject::connect(form.Edit3, &QLineEdit::textChanged, [&](const QString& text) {
      if (text == "Feltöltés sikeres") uploaded.push_back(ReadFile(Server->publicHtml() + "/koftplive.jpg"));
    });
    form.Button1->click();
    EXPECT_EQ(Errors, std::vector<std::string>{});
    form.Edit4->setText(Vsftpd::User);
    form.Edit5->setText(Vsftpd::Password);
    form.Edit2->setText("1");
    form.Button3->click();
    EXPECT_TRUE(RunUntil([&] { return uploaded.size() >= 2; }));
    form.Button4->click();
    EXPECT_EQ(Errors, std::vector<std::string>{});
    EXPECT_FALSE(form.Image1->pixmap().isNull());
    return uploaded;
  }

  // The library's control entry `name` (the library loaded as the station
  // loads it).
  template <class F>
  static F* Control(const char* name) {
    LoadPRSDK();
    void* symbol = dlsym(PRSDKLibrary().handle(), name);
    if (symbol == nullptr) throw std::runtime_error(std::string("no control entry ") + name);
    F* function = nullptr;
    std::memcpy(&function, &symbol, sizeof function);
    return function;
  }

  TempDir Scripts;
  std::string Picture;
  std::unique_ptr<Vsftpd> Server;
};

TEST_F(UsbStationTest, UploadsThePicturesOfACameraDoingEveryDocumentedThingAndConnectsItAgainAfterAnUnplug) {
  TForm1& form = Start({.UploadHost = Server->host()});
  std::vector<std::string> uploaded;
  QObject::connect(form.Edit3, &QLineEdit::textChanged, [&](const QString& text) {
    if (text == "Feltöltés sikeres") uploaded.push_back(ReadFile(Server->publicHtml() + "/koftplive.jpg"));
  });
  form.Button1->click();
  ASSERT_EQ(Errors, std::vector<std::string>{});
  EXPECT_EQ(form.Obturo1->ConnectInfo().ModelName, "Canon PowerShot G9");
  EXPECT_EQ(form.Obturo1->ConnectInfo().CameraOwner, "Tető kamera");
  form.Edit4->setText(Vsftpd::User);
  form.Edit5->setText(Vsftpd::Password);
  form.Edit2->setText("1");
  form.Button3->click();
  // Two pictures, the camera gone for a second, connected again, two more.
  ASSERT_TRUE(RunUntil([&] { return uploaded.size() >= 4; }));
  form.Button4->click();
  // The unplugging, and the ticks before the station took the camera
  // again; nothing else (a stale event taken for a picture, a slow answer
  // or a busy camera) went wrong.
  EXPECT_EQ(Errors, (std::vector<std::string>{"PR_RC_Release errorcode 0x0000000B, Selection unavailable",
                                              "Camera not in remote mode", "Camera not in remote mode"}));
  EXPECT_EQ(uploaded, std::vector<std::string>(uploaded.size(), Picture));
  EXPECT_FALSE(form.Image1->pixmap().isNull());
}

// traces/station.trace is this test recorded: traces/record runs it with
// KORV_USB_RECORD set, against the scripted camera instead of the trace (a
// G9 with every default as real G9s report it).
TEST_F(UsbStationTest, TheRecordedStationTraceReplaysEndToEnd) {
  const bool recording = std::getenv("KORV_USB_RECORD") != nullptr;
  TForm1& form = Start({.UploadHost = Server->host()});
  const std::string camera = recording ? "eventdelay 1\npicturefile " + Scripts.file("sky.jpg")
                                       : "replay " KORV_TRACES_DIR "/station.trace";
  auto load = Control<uint32_t(const char*)>("UsbCamLoadScript");
  ASSERT_EQ(load(camera.c_str()), 0u);
  const auto uploaded = TakeTwoPictures(form);
  ASSERT_EQ(uploaded.size(), 2u);
  EXPECT_EQ(uploaded[0], uploaded[1]);
  auto read = Control<uint32_t(char*, uint32_t)>("UsbCamReadTranscript");
  std::string transcript(read(nullptr, 0) + 1, '\0');
  read(transcript.data(), static_cast<uint32_t>(transcript.size()));
  load(ReadFile(Scripts.file("camera.txt")).c_str());
  if (recording) return;
  EXPECT_NE(transcript.find("questions of the trace asked"), std::string::npos) << transcript;
  EXPECT_EQ(transcript.find("differs"), std::string::npos) << transcript;
  EXPECT_EQ(transcript.find("past the end"), std::string::npos) << transcript;
}

// A camera whose makers dropped remote capture: the connection reports it
// through the error box, "Távvezérlés OK" stays unchecked, no release goes out.
TEST_F(UsbStationTest, ACameraWithoutRemoteCaptureIsReportedAndNeverReleased) {
  TForm1& form = Start();
  auto load = Control<uint32_t(const char*)>("UsbCamLoadScript");
  ASSERT_EQ(load("devicereport " KORV_DEVICES_DIR "/g11.report"), 0u);
  form.Button1->click();
  EXPECT_FALSE(form.CheckBox1->isChecked());
  EXPECT_EQ(Errors, std::vector<std::string>{
                        "PR_InitiateReleaseControl errorcode 0x00000070, remote capture not available on this camera"});
  auto read = Control<uint32_t(char*, uint32_t)>("UsbCamReadTranscript");
  std::string transcript(read(nullptr, 0) + 1, '\0');
  read(transcript.data(), static_cast<uint32_t>(transcript.size()));
  load(ReadFile(Scripts.file("camera.txt")).c_str());
  EXPECT_EQ(transcript.find("cmd 0x9008"), std::string::npos) << transcript;
  EXPECT_EQ(transcript.find("cmd 0x901A"), std::string::npos) << transcript;
}

}  // namespace
}  // namespace korv::test
