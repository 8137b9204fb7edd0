// The whole station with real cameras chosen (KORV_CAMERA=usb): the window,
// the USB PRSDK.DLL playing the scripted PTP camera of KORV_USB_SCRIPT, and
// vsftpd, with the real timer at the shortest interval.
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

class UsbStationTest : public StationTest {
protected:
  void SetUp() override {
    if (auto why = Vsftpd::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    const auto jpeg = MakeJpeg(320, 240);
    Picture.assign(jpeg.begin(), jpeg.end());
    WriteFile(Scripts.file("sky.jpg"), Picture);
    WriteFile(Scripts.file("camera.txt"), "model Canon PowerShot G9\neventdelay 1\npicturefile " +
                                              Scripts.file("sky.jpg") + "\n");
    setenv("KORV_CAMERA", "usb", 1);
    setenv("KORV_USB_SCRIPT", Scripts.file("camera.txt").c_str(), 1);
    Server = std::make_unique<Vsftpd>();
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
    form.State.upload_host = Server->host();
    std::vector<std::string> uploaded;
    QObject::connect(form.Edit3, &QLineEdit::textChanged, [&](const QString& text) {
      if (text == "Feltöltés sikeres") uploaded.push_back(ReadFile(Server->publicHtml() + "/koftplive.jpg"));
    });
    form.Button1->click();
    EXPECT_EQ(Errors, std::vector<std::string>{});
    EXPECT_EQ(form.Obturo1->ConnectInfo().ModelName, "Canon PowerShot G9");
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

  // The library's control entry `name`.
  template <class F>
  static F* Control(const char* name) {
    void* symbol = dlsym(PRSDKLibrary().handle(), name);
    F* function = nullptr;
    std::memcpy(&function, &symbol, sizeof function);
    return function;
  }

  TempDir Scripts;
  std::string Picture;
  std::unique_ptr<Vsftpd> Server;
};

TEST_F(UsbStationTest, ConnectsTheUsbCameraAsCameraZeroAndUploadsItsPictures) {
  EXPECT_EQ(TakeTwoPictures(Start()), (std::vector<std::string>{Picture, Picture}));
}

// traces/station.trace is the test above recorded (traces/record).
TEST_F(UsbStationTest, TheRecordedStationTraceReplaysEndToEnd) {
  TForm1& form = Start();
  ASSERT_EQ(Control<uint32_t(const char*)>("UsbCamLoadScript")("replay " KORV_TRACES_DIR "/station.trace"), 0u);
  const auto uploaded = TakeTwoPictures(form);
  ASSERT_EQ(uploaded.size(), 2u);
  EXPECT_EQ(uploaded[0], uploaded[1]);
  auto read = Control<uint32_t(char*, uint32_t)>("UsbCamReadTranscript");
  std::string transcript(read(nullptr, 0) + 1, '\0');
  read(transcript.data(), static_cast<uint32_t>(transcript.size()));
  EXPECT_NE(transcript.find("questions of the trace asked"), std::string::npos) << transcript;
  EXPECT_EQ(transcript.find("differs"), std::string::npos) << transcript;
  EXPECT_EQ(transcript.find("past the end"), std::string::npos) << transcript;
  Control<uint32_t(const char*)>("UsbCamLoadScript")(ReadFile(Scripts.file("camera.txt")).c_str());
}

}  // namespace
}  // namespace korv::test
