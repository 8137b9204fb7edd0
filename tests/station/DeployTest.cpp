// The station left alone, against the simulated CD camera: the unattended
// start with a scripted FTP server, a camera unplugged during a run, and
// the log that tells both stories.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QCoreApplication>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <functional>
#include <thread>

#include "station/CaptureCycle.h"
#include "station/Settings.h"
#include "tests/camsim/CamSimControl.h"
#include "tests/station/StationFixture.h"
#include "tests/support/ScriptedServer.h"

namespace korv::test {
namespace {

bool IsJpeg(const std::string& bytes) {
  return bytes.size() > 4 && bytes.substr(0, 2) == "\xFF\xD8" && bytes.substr(bytes.size() - 2) == "\xFF\xD9";
}

class DeployTest : public StationTest {
protected:
  DeployTest() : Camera(SimulatedLibrary::CD()) { Camera.Reset(); }
  ~DeployTest() override {
    Form.reset();
    Camera.Reset();
  }

  // Serves the window (its timers too), `step` between the rounds, until
  // `done` holds; at most 30 s.
  bool ServeUntil(const std::function<bool()>& done, const std::function<void()>& step = [] {}) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (; !done(); step()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
  }
  void ExpectLogged(std::initializer_list<const char*> texts) const {
    const std::string log = ReadFile(File(kLogFile));
    for (const char* text : texts) EXPECT_NE(log.find(text), std::string::npos) << text << " in\n" << log;
  }

  SimulatedLibrary& Camera;
};

TEST_F(DeployTest, UnattendedStartWaitsForACameraThenTakesAndUploadsPicturesByItself) {
  WriteFile(File(kSettingsFile), "u\r\np\r\n1\r\n15\r\n");
  Camera.LoadScenario("# nothing attached yet\n");
  std::vector<Step> script;
  for (int session = 0; session < 2; ++session) {
    script.insert(script.end(), {NextConnection(), Send("220 ready\r\n"), Expect("USER u"), Send("331 pw\r\n"),
                                 Expect("PASS p"), Send("230 in\r\n"), Expect("TYPE I"), Send("200 binary\r\n"),
                                 Expect("SYST"), Send("215 UNIX\r\n"), Expect("CWD public_html"), Send("250 ok\r\n"),
                                 ExpectPort(), Send("200 port\r\n"), Expect("STOR koftplive.jpg"),
                                 Send("150 go\r\n"), ConnectBack(), ReceiveData(), Send("226 done\r\n"),
                                 Expect("QUIT"), Send("221 bye\r\n")});
  }
  script.erase(script.begin());  // the first session needs no closing one before it
  ScriptedServer server(script);
  TForm1& form = Start({.UploadHost = server.host(), .UploadPort = server.port()});
  form.ComboBox1->setCurrentIndex(5);  // small pictures keep the ticks short

  form.StartUnattended();
  EXPECT_FALSE(form.Timer1Enabled());
  ASSERT_EQ(Errors.size(), 1u);  // no camera: tried again one interval later
  Camera.LoadScenario(std::string("camera CD\n") + FixedSky);
  ASSERT_TRUE(ServeUntil([&] { return server.data().size() == 2; }));
  form.Button4->click();

  EXPECT_EQ(server.finish(), "");
  for (const std::string& picture : server.data()) EXPECT_TRUE(IsJpeg(picture));
  EXPECT_EQ(form.Timer1->interval(), 1000);  // the settings file's interval
  EXPECT_EQ(Errors.size(), 1u);
  ExpectLogged({"unattended start", "error: There seems to be no connected PowerShot", "start: a picture every 1 s",
                "status: Kép készítése", "upload: Feltöltés sikeres", "stop"});
}

TEST_F(DeployTest, TheLogSaysWhyAnUploadFailed) {
  WriteFile(File(kSettingsFile), "u\r\np\r\n1\r\n15\r\n");
  Camera.LoadScenario(std::string("camera CD\n") + FixedSky);
  ScriptedServer server({Send("220 ready\r\n"), Expect("USER u"), Send("331 pw\r\n"), Expect("PASS p"),
                         Send("530 Login incorrect.\r\n"), ExpectClose()});
  TForm1& form = Start({.UploadHost = server.host(), .UploadPort = server.port()});
  form.ComboBox1->setCurrentIndex(5);
  form.StartUnattended();
  ASSERT_TRUE(ServeUntil([&] { return form.Edit3->text() == kUploadFailed; }));
  form.Button4->click();
  EXPECT_EQ(server.finish(), "");
  ExpectLogged({"upload failed: 530 Login incorrect.", "upload: Kapcsolati hiba!!"});
}

TEST_F(DeployTest, AnUnpluggedCameraIsConnectedAgainAndPicturesResume) {
  Camera.LoadScenario(std::string("camera CD\nunplug after 2 for 1\n") + FixedSky);
  TForm1& form = Start();
  form.CheckBox4->setChecked(false);  // no uploads
  form.ComboBox1->setCurrentIndex(5);
  form.Button1->click();
  form.set_cam_parameters();
  ASSERT_EQ(Errors, std::vector<std::string>{});
  // The timer's ticks, a tenth of a second apart.
  ASSERT_TRUE(ServeUntil([&] { return form.Core.View().NextPicture == 5; }, [&] {
    QMetaObject::invokeMethod(form.Timer1, "timeout", Qt::DirectConnection);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }));

  // Three ticks failed; then each tick tried the camera, without an error box.
  EXPECT_EQ(Errors.size(), 3u);
  for (int64_t number = 1; number < 5; ++number) {
    EXPECT_TRUE(IsJpeg(ReadFile(form.Core.View().PictureFolder + "/" + PictureFileName(number)))) << number;
  }
  EXPECT_EQ(Camera.Calls("CDOpenSource").size(), 2u);
  ExpectLogged({"error: CDRelease errorcode 0x00000080, Device not found", "status: Kamera újracsatlakoztatása",
                "status: Kamera nem elérhető", "camera unavailable: There seems", "camera reconnected: "});
}

}  // namespace
}  // namespace korv::test
