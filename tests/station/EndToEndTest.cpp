// The whole station: the real window, the simulated CD camera and vsftpd,
// with the real timer at the shortest interval.
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <functional>

#include "station/Settings.h"
#include "tests/camsim/CamSimControl.h"
#include "tests/station/StationFixture.h"
#include "tests/support/Vsftpd.h"

namespace korv::test {
namespace {

class EndToEndTest : public StationTest {
protected:
  void SetUp() override {
    if (auto why = Vsftpd::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    SimulatedLibrary::CD().Reset();
    Server = std::make_unique<Vsftpd>();
    TForm1& form = Start({.UploadHost = Server->host()});
    QObject::connect(form.Edit3, &QLineEdit::textChanged, [this](const QString& text) { OnUploadStatus(text); });
    form.Button1->click();
    ASSERT_EQ(Errors, std::vector<std::string>{});
    form.Edit4->setText(Vsftpd::User);
    form.Edit5->setText(Vsftpd::Password);
    form.Edit2->setText("1");
    form.Button3->click();
    ASSERT_EQ(Errors, std::vector<std::string>{});
  }
  void TearDown() override {
    Form.reset();
    SimulatedLibrary::CD().Reset();
  }

  // At each successful upload, the picture just taken (still on disk until
  // after sign-off) must be what the server holds.
  void OnUploadStatus(const QString& text) {
    std::string status = text.toStdString();
    Statuses.push_back(status);
    if (status.rfind("Fájl feltöltése ", 0) == 0) Current = status.substr(std::strlen("Fájl feltöltése "));
    if (status == "Feltöltés sikeres") {
      std::string local = ReadFile(PictureFile(Current));
      Identical.push_back(!local.empty() && local == ReadFile(Server->publicHtml() + "/koftplive.jpg"));
      Uploaded.push_back(Current);
    }
    if (status == "Kapcsolati hiba!!") Failed.push_back(Current);
  }

  // Serves the window (timer ticks included) until `done` holds, at most 60 s.
  bool RunUntil(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
  }
  std::string PictureFile(const std::string& name) const { return Form->Core.View().PictureFolder + "/" + name; }

  std::unique_ptr<Vsftpd> Server;
  std::vector<std::string> Statuses;
  std::string Current;
  std::vector<bool> Identical;
  std::vector<std::string> Uploaded;
  std::vector<std::string> Failed;
};

TEST_F(EndToEndTest, PicturesAreTakenShownUploadedAndCounted) {
  EXPECT_EQ(Form->Timer1->interval(), 1000);
  EXPECT_EQ(ReadFile(File(kSettingsFile)), std::string(Vsftpd::User) + "\r\n" + Vsftpd::Password + "\r\n1\r\n15\r\n");
  ASSERT_TRUE(RunUntil([&] { return Uploaded.size() >= 3; }));
  Form->Button4->click();
  EXPECT_EQ(Errors, std::vector<std::string>{});
  EXPECT_EQ(Uploaded, (std::vector<std::string>{"000001.jpg", "000002.jpg", "000003.jpg"}));
  EXPECT_EQ(Identical, (std::vector<bool>{true, true, true}));
  for (const std::string& name : Uploaded) EXPECT_FALSE(std::filesystem::exists(PictureFile(name))) << name;
  EXPECT_EQ(ReadFile(File(kPictureNumberFile)), "4\r\n");
  EXPECT_EQ(Form->Core.View().NextPicture, 4);
  EXPECT_FALSE(Form->Image1->pixmap().isNull());
  std::vector<std::string> first(Statuses.begin(), Statuses.begin() + 5);
  EXPECT_EQ(first, (std::vector<std::string>{"Fájl feltöltése 000001.jpg", "Kapcsolódás a szerverhez",
                                             "Kapcsolódás sikeres", "Kép feltöltése 000001.jpg",
                                             "Feltöltés sikeres"}));
}

TEST_F(EndToEndTest, ServerDownKeepsPicturesAndUploadsResumeWhenItIsBack) {
  ASSERT_TRUE(RunUntil([&] { return Uploaded.size() >= 1; }));
  Server->stop();
  ASSERT_TRUE(RunUntil([&] { return Failed.size() >= 2; }));
  Server->start();
  size_t before = Uploaded.size();
  ASSERT_TRUE(RunUntil([&] { return Uploaded.size() >= before + 1; }));
  Form->Button4->click();
  EXPECT_EQ(Errors, std::vector<std::string>{});
  for (const std::string& name : Failed) EXPECT_TRUE(std::filesystem::exists(PictureFile(name))) << name;
  EXPECT_TRUE(Identical.back());
  // Every picture got its own number, uploaded or kept.
  EXPECT_EQ(Form->Core.View().NextPicture, static_cast<int32_t>(Uploaded.size() + Failed.size()) + 1);
}

}  // namespace
}  // namespace korv::test
