// The FTP client against a real vsftpd on a loopback address: what the
// station does per picture, in both data connection modes, and the failures
// a real server gives. Also the demo server of the run command.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
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

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

class FtpVsftpdTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (std::string why = Vsftpd::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    Server = std::make_unique<Vsftpd>();
    Ftp.Host = Server->host();
    Ftp.Port = Server->port();
    Ftp.Username = Vsftpd::User;
    Ftp.Password = Vsftpd::Password;
    Ftp.ReadTimeout = 10000;  // a fault must not hang the test
  }

  // The station's sequence for one picture.
  void UploadAsTheStation(const std::string& localPath) {
    Ftp.ConnectServer(true, -1);
    Ftp.SetTransferType(ftBinary);
    Ftp.ChangeDirectory("public_html");
    Ftp.UploadFile(localPath, "koftplive.jpg", false);
    Ftp.SignOff();
  }

  std::string Stored() const { return ReadFile(Server->publicHtml() + "/koftplive.jpg"); }

  TempDir Local;
  std::unique_ptr<Vsftpd> Server;
  TIdFTP Ftp;
};

struct UploadCase {
  const char* name;
  bool passive;
  size_t size;
};

class FtpVsftpdUpload : public FtpVsftpdTest, public ::testing::WithParamInterface<UploadCase> {};

TEST_P(FtpVsftpdUpload, StoresTheFileByteForByteAndReplacesTheOldOne) {
  Ftp.Passive = GetParam().passive;
  const std::string older = RandomBytes(5000, 1), picture = RandomBytes(GetParam().size, 2);
  WriteFile(Local.file("older.jpg"), older);
  WriteFile(Local.file("000001.jpg"), picture);

  UploadAsTheStation(Local.file("older.jpg"));
  ASSERT_EQ(Stored(), older);
  UploadAsTheStation(Local.file("000001.jpg"));
  EXPECT_TRUE(std::filesystem::exists(Server->publicHtml() + "/koftplive.jpg"));
  EXPECT_TRUE(Stored() == picture) << "stored " << Stored().size() << " bytes of " << picture.size();
  EXPECT_FALSE(Ftp.IsConnected());
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpVsftpdUpload,
                         ::testing::Values(UploadCase{"active", false, 1234567}, UploadCase{"passive", true, 1234567},
                                           UploadCase{"activeEmpty", false, 0}, UploadCase{"passiveEmpty", true, 0}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(FtpVsftpdTest, WrongPasswordFailsWith530AndClosesTheConnection) {
  Ftp.Password = "not-the-password";
  if (auto e = Raised<EIdProtocolReplyError>([&] { Ftp.ConnectServer(true, -1); })) {
    EXPECT_EQ(e->ReplyCode, 530);
  }
  EXPECT_FALSE(Ftp.IsConnected());
}

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
