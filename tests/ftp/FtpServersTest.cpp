// The FTP client against four real servers from Debian, each on a loopback
// address of its own with a greeting of several lines (one of them starting
// with digits, one short, one blank, where the server lets the greeting be
// set). For each, in active and in passive mode: log in (with SYST), change
// to public_html, store 0 bytes, 1 byte and 2 MB byte for byte, sign off;
// a store the server refuses; a server stopped in the middle of a store.
// And a wrong password. What differs between the servers is in the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "ftp/IdException.h"
#include "ftp/IdFTP.h"
#include "ftp/IdGlobal.h"
#include "tests/ftp/Raised.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

namespace korv {
namespace {

using namespace korv::test;

struct ServerRow {
  FtpServerKind Kind;
  const char* Address;     // its own (and a free port), so that the servers can run side by side
  int RefusedStoreCode;    // a store into a folder the user may not write
  int WrongPasswordCode;
  int WrongPasswordWaitMs; // how long the server makes a wrong password wait
};

const ServerRow Servers[] = {
    {FtpServerKind::Vsftpd, "127.0.0.11", 553, 530, 0},
    {FtpServerKind::PureFtpd, "127.0.0.12", 553, 530, 5000},  // not configurable
    {FtpServerKind::Proftpd, "127.0.0.13", 550, 530, 0},
    {FtpServerKind::Pyftpdlib, "127.0.0.14", 550, 530, 0},
};

class RealFtpServer : public ::testing::Test {
protected:
  void Check(FtpServerKind kind) {
    const ServerRow& row = *std::find_if(std::begin(Servers), std::end(Servers),
                                         [&](const ServerRow& each) { return each.Kind == kind; });
    if (std::string why = FtpServer::Unavailable(kind); !why.empty()) GTEST_SKIP() << why;
    FtpServer server({.kind = kind, .address = row.Address, .port = 0, .banner = true});
    for (bool passive : {false, true}) {
      SCOPED_TRACE(passive ? "passive" : "active");
      StoreByteForByte(server, passive);
      RefusedStore(server, row, passive);
      StoppedMidTransfer(server, passive);
    }
    WrongPassword(server, row);
  }

  void Prepare(TIdFTP& ftp, const FtpServer& server, bool passive, int readTimeoutMs = 10000) {
    ftp.Host = server.host();
    ftp.Port = server.port();
    ftp.Username = FtpServer::User;
    ftp.Password = FtpServer::Password;
    ftp.Passive = passive;
    ftp.ReadTimeout = readTimeoutMs;  // a fault must not hang the test
  }

  void StoreByteForByte(const FtpServer& server, bool passive) {
    TIdFTP ftp;
    Prepare(ftp, server, passive);
    ftp.ConnectServer(true, -1);
    EXPECT_EQ(ftp.GreetingReply.NumericCode, 220);
    ASSERT_FALSE(ftp.GreetingReply.Text.empty());
    EXPECT_EQ(ftp.GreetingReply.Text.front(),
              "Welcome to the korv test server, where every upload lands in public_html");
    EXPECT_NE(std::find_if(ftp.GreetingReply.Text.begin(), ftp.GreetingReply.Text.end(),
                           [](const std::string& line) { return Trim(line) == "220 is our port number"; }),
              ftp.GreetingReply.Text.end());
    EXPECT_EQ(ftp.SystemDescription, "UNIX Type: L8");
    ftp.ChangeDirectory("public_html");
    for (size_t size : {size_t{0}, size_t{1}, size_t{2000000}}) {
      SCOPED_TRACE(std::to_string(size) + " bytes");
      const std::string content = RandomBytes(size, static_cast<unsigned>(size));
      WriteFile(Local.file("picture.jpg"), content);
      ftp.UploadFile(Local.file("picture.jpg"), "koftplive.jpg", false);
      EXPECT_TRUE(ReadFile(server.publicHtml() + "/koftplive.jpg") == content);
    }
    ftp.SignOff();
    EXPECT_FALSE(ftp.IsConnected());
  }

  void RefusedStore(const FtpServer& server, const ServerRow& row, bool passive) {
    TIdFTP ftp;
    Prepare(ftp, server, passive);
    WriteFile(Local.file("picture.jpg"), "picture");
    ftp.ConnectServer(true, -1);
    ftp.ChangeDirectory("public_html/locked");
    if (auto e = Raised<EIdProtocolReplyError>([&] { ftp.UploadFile(Local.file("picture.jpg"), "koftplive.jpg"); })) {
      EXPECT_EQ(e->ReplyCode, row.RefusedStoreCode) << e->what();
    }
    EXPECT_TRUE(ftp.IsConnected());
    ftp.SignOff();
  }

  // Never a success: the store fails however far the server got.
  void StoppedMidTransfer(FtpServer& server, bool passive) {
    TIdFTP ftp;
    Prepare(ftp, server, passive);
    WriteFile(Local.file("large.jpg"), RandomBytes(8000000, 5));
    ftp.ConnectServer(true, -1);
    ftp.ChangeDirectory("public_html");
    ftp.OnWork = [&](TIdComponent*, TWorkMode, int64_t) { server.stop(); };
    EXPECT_THROW(ftp.UploadFile(Local.file("large.jpg"), "koftplive.jpg"), EIdException);
    ftp.CloseConnection();
    server.start();
  }

  void WrongPassword(const FtpServer& server, const ServerRow& row) {
    TIdFTP ftp;
    Prepare(ftp, server, false, 10000 + row.WrongPasswordWaitMs);
    ftp.Password = "not-the-password";
    if (auto e = Raised<EIdProtocolReplyError>([&] { ftp.ConnectServer(true, -1); })) {
      EXPECT_EQ(e->ReplyCode, row.WrongPasswordCode);
    }
    EXPECT_FALSE(ftp.IsConnected());
  }

  TempDir Local;
};

TEST_F(RealFtpServer, VsftpdStoresByteForByteAndFailsAsItSays) { Check(FtpServerKind::Vsftpd); }
TEST_F(RealFtpServer, PureFtpdStoresByteForByteAndFailsAsItSays) { Check(FtpServerKind::PureFtpd); }
TEST_F(RealFtpServer, ProftpdStoresByteForByteAndFailsAsItSays) { Check(FtpServerKind::Proftpd); }
TEST_F(RealFtpServer, PyftpdlibStoresByteForByteAndFailsAsItSays) { Check(FtpServerKind::Pyftpdlib); }

}  // namespace
}  // namespace korv
