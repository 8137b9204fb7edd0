#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>

#include <chrono>
#include <filesystem>

#include "ftp/IdFTP.h"
#include "tests/station/StationFixture.h"
#include "tests/station/TestJpeg.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/Vsftpd.h"

namespace korv::test {
namespace {

const char* const kName = "000007.jpg";

class UploadTest : public StationTest {
protected:
  void SetUp() override {
    auto jpeg = MakeJpeg(640, 480, false, 20);
    Picture.assign(jpeg.begin(), jpeg.end());
    WriteFile(Path(), Picture);
  }
  std::string Path() const { return File(kName); }
  // The station, uploading to `config`'s server.
  void StartWith(const StationConfig& config) {
    TForm1& form = Start(config);
    QObject::connect(form.Edit3, &QLineEdit::textChanged,
                     [this](const QString& text) { Statuses.push_back(text.toStdString()); });
  }
  void Account(const char* user, const char* password) {
    Form->Edit4->setText(QString::fromLatin1(user));
    Form->Edit5->setText(QString::fromLatin1(password));
  }
  void Upload() {
    Statuses.clear();
    Form->upload_picture(Path(), kName);
  }

  std::string Picture;
  std::vector<std::string> Statuses;
};

const std::vector<std::string> kSuccess = {
    "Fájl feltöltése 000007.jpg", "Kapcsolódás a szerverhez", "Kapcsolódás sikeres", "Kép feltöltése 000007.jpg",
    "Feltöltés sikeres"};

class VsftpdUploadTest : public UploadTest {
protected:
  void SetUp() override {
    if (auto why = Vsftpd::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    UploadTest::SetUp();
    Server = std::make_unique<Vsftpd>();
    StartWith({.UploadHost = Server->host(), .UploadPort = Server->port()});
    Account(Vsftpd::User, Vsftpd::Password);
  }
  std::string Uploaded() const { return ReadFile(Server->publicHtml() + "/koftplive.jpg"); }

  std::unique_ptr<Vsftpd> Server;
};

TEST_F(VsftpdUploadTest, StoresThePictureAsTheLivePictureAndDeletesItLocally) {
  Form->ProgressBar1->setValue(40);
  Upload();
  EXPECT_EQ(Statuses, kSuccess);
  EXPECT_EQ(Uploaded(), Picture);
  EXPECT_FALSE(std::filesystem::exists(Path()));
  EXPECT_EQ(Form->ProgressBar1->value(), 0);
  EXPECT_FALSE(Form->CheckBox6->isChecked());  // signed off
}

TEST_F(VsftpdUploadTest, KeepOptionKeepsTheLocalFile) {
  Form->CheckBox3->setChecked(true);
  Upload();
  EXPECT_EQ(Statuses, kSuccess);
  EXPECT_EQ(Uploaded(), Picture);
  EXPECT_EQ(ReadFile(Path()), Picture);
}

TEST_F(VsftpdUploadTest, ServerDownKeepsTheFileAndUploadsResumeWhenItIsBack) {
  Server->stop();
  Upload();
  EXPECT_EQ(Statuses.back(), "Kapcsolati hiba!!");
  EXPECT_EQ(ReadFile(Path()), Picture);
  Server->start();
  Upload();
  EXPECT_EQ(Statuses, kSuccess);
  EXPECT_EQ(Uploaded(), Picture);
}

TEST_F(VsftpdUploadTest, WrongPasswordFails) {
  Account(Vsftpd::User, "wrong");
  Upload();
  EXPECT_EQ(Statuses.back(), "Kapcsolati hiba!!");
  EXPECT_EQ(ReadFile(Path()), Picture);
}

TEST_F(VsftpdUploadTest, AFailureInTheSessionDoesNotSpoilTheNextUpload) {
  std::filesystem::rename(Server->publicHtml(), Server->publicHtml() + ".away");
  Upload();
  EXPECT_EQ(Statuses.back(), "Kapcsolati hiba!!");
  std::filesystem::rename(Server->publicHtml() + ".away", Server->publicHtml());
  Upload();
  EXPECT_EQ(Statuses, kSuccess);
  EXPECT_EQ(Uploaded(), Picture);
}

TEST_F(VsftpdUploadTest, ZeroLengthFileIsUploadedWithoutProgressEvents) {
  Picture.clear();
  WriteFile(Path(), "");
  Form->ProgressBar1->setValue(37);
  int work = 0;
  auto forward = Form->IdFTP1->OnWork;
  Form->IdFTP1->OnWork = [&](TIdComponent* sender, TWorkMode mode, int64_t count) {
    ++work;
    forward(sender, mode, count);
  };
  Upload();
  EXPECT_EQ(Statuses, kSuccess);
  EXPECT_EQ(work, 0);
  EXPECT_TRUE(std::filesystem::exists(Server->publicHtml() + "/koftplive.jpg"));
  EXPECT_EQ(Uploaded(), "");
  EXPECT_EQ(Form->ProgressBar1->value(), 0);  // reset after success, never moved by work
}

TEST_F(UploadTest, EmptyAccountFieldsAreSentAsTheyAre) {
  ScriptedServer server({Send("220 ready\r\n"), Expect("USER "), Send("331 password\r\n"), Expect("PASS "),
                         Send("530 no\r\n")});
  StartWith({.UploadHost = server.host(), .UploadPort = server.port()});
  Account("", "");
  Upload();
  EXPECT_EQ(server.finish(), "");
  EXPECT_EQ(Statuses.back(), "Kapcsolati hiba!!");
}

TEST_F(UploadTest, ASilentServerCostsOneUploadNotTheStation) {
  ScriptedServer server({Stall()});
  StartWith({.UploadHost = server.host(), .UploadPort = server.port(), .UploadTimeoutMs = 300});
  Account("u", "p");
  auto started = std::chrono::steady_clock::now();
  Upload();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  EXPECT_EQ(Statuses.back(), "Kapcsolati hiba!!");
  server.finish();
}

TEST_F(UploadTest, ClientIsSetUpForTheStation) {
  StartWith({});
  EXPECT_EQ(Form->IdFTP1->MaxLineAction, maException);
  EXPECT_EQ(Form->IdFTP1->ProxySettings.ProxyType, fpcmNone);
  EXPECT_EQ(Form->IdFTP1->ProxySettings.Port, 0);
  EXPECT_EQ(Form->IdFTP1->Host, KORV_UPLOAD_HOST);
  EXPECT_EQ(Form->IdFTP1->Port, 21);
  EXPECT_EQ(Form->IdFTP1->ReadTimeout, 60000);
}

// The time the upload box adds to the interval: CaptureTest.
TEST_F(UploadTest, UploadOptionSwitchesTheGroup) {
  StartWith({});
  Form->CheckBox4->setChecked(false);
  EXPECT_FALSE(Form->GroupBox1->isEnabled());
  Form->CheckBox4->setChecked(true);
  EXPECT_TRUE(Form->GroupBox1->isEnabled());
}

}  // namespace
}  // namespace korv::test
