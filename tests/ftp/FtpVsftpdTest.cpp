// The FTP client against the vsftpd of the tests on a loopback address: a
// refused directory leaves the session usable. Also the demo server of the
// run command. (Uploads to every real server: FtpServersTest.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "ftp/IdException.h"
#include "ftp/IdFTP.h"
#include "tests/ftp/Raised.h"
#include "tests/support/LoopbackClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/Vsftpd.h"

namespace korv {
namespace {

using namespace korv::test;
using ::testing::StartsWith;

class FtpVsftpdTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (std::string why = Vsftpd::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    // Not the default address and port, which the station's tests use.
    Server = std::make_unique<Vsftpd>(Vsftpd::Options{.address = "127.0.0.22", .port = 0});
    Ftp.Host = Server->host();
    Ftp.Port = Server->port();
    Ftp.Username = Vsftpd::User;
    Ftp.Password = Vsftpd::Password;
    Ftp.ReadTimeout = 10000;  // a fault must not hang the test
  }

  std::string Stored() const { return ReadFile(Server->publicHtml() + "/koftplive.jpg"); }

  TempDir Local;
  std::unique_ptr<Vsftpd> Server;
  TIdFTP Ftp;
};

TEST_F(FtpVsftpdTest, MissingDirectoryFailsWith550AndStaysLoggedIn) {
  WriteFile(Local.file("000001.jpg"), "picture");
  Ftp.ConnectServer(true, -1);
  if (auto e = Raised<EIdProtocolReplyError>([&] { Ftp.ChangeDirectory("no_such_dir"); })) {
    EXPECT_EQ(e->ReplyCode, 550);
  }
  ASSERT_TRUE(Ftp.IsConnected());
  Ftp.ChangeDirectory("public_html");
  Ftp.UploadFile(Local.file("000001.jpg"), "koftplive.jpg", false);
  Ftp.SignOff();
  EXPECT_EQ(Stored(), "picture");
}

// The run command's demo server, moved to another loopback address and a
// temporary folder so that it can't meet a server the user runs.
class DemoFtpTest : public ::testing::Test {
protected:
  static constexpr const char* Address = "127.0.0.3";

  void SetUp() override {
    if (std::string why = Vsftpd::Unavailable(); !why.empty()) GTEST_SKIP() << why;
  }
  void TearDown() override { Demo("stop"); }

  int Demo(const std::string& action) {
    std::string command = std::string("KORV_DEMO_FTP_ADDRESS=") + Address + " KORV_DEMO_FTP_DIR=" + Dir.file("demo") +
                          " " + KORV_SOURCE_DIR + "/scripts/demo-ftp " + action + " >/dev/null";
    return std::system(command.c_str());
  }

  void UploadAnonymously(const std::string& localPath) {
    TIdFTP ftp;
    ftp.Host = Address;
    ftp.Port = 21;
    ftp.Username = "anonymous";
    ftp.Password = "station@example.org";
    ftp.ReadTimeout = 10000;
    ftp.ConnectServer(true, -1);
    ftp.ChangeDirectory("public_html");
    ftp.UploadFile(localPath, "koftplive.jpg", false);
    ftp.SignOff();
  }

  TempDir Dir;
};

TEST_F(DemoFtpTest, TakesAnonymousUploadsIntoItsPublicHtmlUntilStopped) {
  ASSERT_EQ(Demo("start"), 0);
  WriteFile(Dir.file("1.jpg"), RandomBytes(70000, 3));
  WriteFile(Dir.file("2.jpg"), RandomBytes(50000, 4));
  UploadAnonymously(Dir.file("1.jpg"));
  UploadAnonymously(Dir.file("2.jpg"));
  EXPECT_TRUE(ReadFile(Dir.file("demo/public_html/koftplive.jpg")) == ReadFile(Dir.file("2.jpg")));

  ASSERT_EQ(Demo("stop"), 0);
  EXPECT_FALSE(LoopbackClient(Address, 21).connected());
}

TEST_F(DemoFtpTest, LeavesAServerThatAlreadyAnswersAlone) {
  Vsftpd running({.address = Address});
  ASSERT_EQ(Demo("start"), 0);
  ASSERT_EQ(Demo("stop"), 0);
  LoopbackClient c(Address, 21);
  EXPECT_THAT(c.readLine(), StartsWith("220 "));
}

}  // namespace
}  // namespace korv
