// The station left alone: the unattended start against the simulated CD
// camera and a scripted FTP server, a camera unplugged during a run, and
// the log that tells both stories.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
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

const std::string kCamera = std::string("camera CD\n") + FixedSky;

bool IsJpeg(const std::string& bytes) {
  return bytes.size() > 4 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xD8 &&
         static_cast<uint8_t>(bytes.back()) == 0xD9;
}

// One upload of the station as the server sees it, account "u"/"p".
std::vector<Step> Session() {
  return {Send("220 ready\r\n"), Expect("USER u"),        Send("331 password\r\n"), Expect("PASS p"),
          Send("230 in\r\n"),    Expect("TYPE I"),         Send("200 binary\r\n"),    Expect("SYST"),
          Send("215 UNIX\r\n"),  Expect("CWD public_html"), Send("250 ok\r\n"),      ExpectPort(),
          Send("200 port\r\n"),  Expect("STOR koftplive.jpg"), Send("150 go\r\n"),   ConnectBack(),
          ReceiveData(),         Send("226 done\r\n"),     Expect("QUIT"),           Send("221 bye\r\n")};
}

class DeployTest : public StationTest {
protected:
  DeployTest() : Camera(SimulatedLibrary::CD()) { Camera.Reset(); }
  ~DeployTest() override {
    Form.reset();
    Camera.Reset();
  }

  TForm1& StartRecording() {
    TForm1& form = Start();
    form.ComboBox1->setCurrentIndex(5);  // small pictures keep the ticks short
    QObject::connect(form.Edit1, &QLineEdit::textChanged, [this](const QString& text) {
      Statuses.push_back(text.toStdString());
    });
    QObject::connect(form.Edit3, &QLineEdit::textChanged, [this](const QString& text) {
      if (text == "Feltöltés sikeres") ++Uploads;
    });
    return form;
  }

  // Serves the window (its timers too) until `done` holds, at most 30 s;
  // `step` runs between the rounds.
  bool ServeUntil(const std::function<bool()>& done, const std::function<void()>& step = [] {}) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      step();
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
  }
  bool Logged(const std::string& text) const {
    return ReadFile(File(kLogFile)).find(text) != std::string::npos;
  }
  int Count(const std::string& status) const {
    return static_cast<int>(std::count(Statuses.begin(), Statuses.end(), status));
  }

  SimulatedLibrary& Camera;
  std::vector<std::string> Statuses;
  int Uploads = 0;
};

TEST_F(DeployTest, UnattendedStartWaitsForACameraThenTakesAndUploadsPicturesByItself) {
  WriteFile(File(kSettingsFile), "u\r\np\r\n1\r\n15\r\n");
  Camera.LoadScenario("# nothing attached yet\n");
  std::vector<Step> script = Session();
  script.push_back(NextConnection());
  for (const Step& step : Session()) script.push_back(step);
  ScriptedServer server(script);
  TForm1& form = StartRecording();
  form.State.upload_host = server.host();
  form.State.upload_port = server.port();

  form.StartUnattended();
  EXPECT_FALSE(form.Timer1Enabled());
  ASSERT_EQ(Errors.size(), 1u);  // no camera: tried again one interval later
  Camera.LoadScenario(kCamera);
  ASSERT_TRUE(ServeUntil([&] { return Uploads == 2; }));
  form.Button4->click();

  EXPECT_EQ(server.finish(), "");
  ASSERT_EQ(server.data().size(), 2u);
  for (const std::string& picture : server.data()) EXPECT_TRUE(IsJpeg(picture));
  EXPECT_EQ(form.Timer1->interval(), 1000);  // the interval of the settings file
  EXPECT_EQ(Errors.size(), 1u);
  for (const char* line : {"unattended start", "error: There seems to be no connected PowerShot",
                           "start: a picture every 1 s", "status: Kép készítése", "upload: Feltöltés sikeres",
                           "stop"}) {
    EXPECT_TRUE(Logged(line)) << line;
  }
}

TEST_F(DeployTest, AnUnpluggedCameraIsConnectedAgainAndPicturesResume) {
  Camera.LoadScenario(kCamera + "unplug after 2 for 1\n");
  TForm1& form = StartRecording();
  form.CheckBox4->setChecked(false);  // no uploads
  form.Button1->click();
  form.set_cam_parameters();
  ASSERT_EQ(Errors, std::vector<std::string>{});
  // The timer's ticks, a tenth of a second apart.
  auto tick = [&] {
    QMetaObject::invokeMethod(form.Timer1, "timeout", Qt::DirectConnection);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  };
  ASSERT_TRUE(ServeUntil([&] { return form.State.picture_counter == 5; }, tick));

  EXPECT_GE(Count(kCameraUnavailable), 1) << "the camera was away for a second";
  // Three ticks failed, then each tick tried the camera without an error box.
  EXPECT_EQ(Errors.size(), 3u);
  EXPECT_EQ(form.State.failed_captures, 0);
  for (int64_t number = 1; number < 5; ++number) {
    EXPECT_TRUE(IsJpeg(ReadFile(File(form.State.picture_dir + "/" + PictureFileName(number))))) << number;
  }
  EXPECT_EQ(Camera.Calls("CDOpenSource").size(), 2u);
  EXPECT_TRUE(Logged("status: Kamera újracsatlakoztatása"));
  EXPECT_TRUE(Logged("status: Kamera nem elérhető"));
  EXPECT_TRUE(Logged("camera unavailable: There seems"));
  EXPECT_TRUE(Logged("camera reconnected: "));
  EXPECT_TRUE(Logged("error: CDRelease errorcode 0x00000080, Device not found"));
}

}  // namespace
}  // namespace korv::test
