// The FTP client against four real servers from Debian, each on a loopback
// address of its own with a greeting of several lines (one of them starting
// with digits, one short, one blank, where the server lets the greeting be
// set). For each, in active and in passive mode: log in (with SYST), change
// to public_html, store 0 bytes, 1 byte and 2 MB byte for byte, sign off;
// a store the server refuses; a server stopped in the middle of a store.
// And a wrong password. With TLS forced on logins and data: the same stores
// byte for byte, a clear-text login refused, and certificates that fail their
// checks. What differs between the servers is in the table.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <thread>

#include "ftp/IdException.h"
#include "ftp/IdFTP.h"
#include "ftp/IdGlobal.h"
#include "tests/ftp/Raised.h"
#include "tests/support/FtpServer.h"
#include "tests/support/LoopbackClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"

namespace korv {
namespace {

using namespace korv::test;

struct ServerRow {
  FtpServerKind Kind;
  const char* Address;     // its own (and a free port), so that the servers can run side by side
  int RefusedStoreCode;    // a store into a folder the user may not write
  int WrongPasswordCode;
  int WrongPasswordWaitMs; // how long the server makes a wrong password wait
  int ClearLoginCode;      // with TLS forced, a login without AUTH TLS
};

const ServerRow Servers[] = {
    {FtpServerKind::Vsftpd, "127.0.0.11", 553, 530, 0, 530},
    {FtpServerKind::PureFtpd, "127.0.0.12", 553, 530, 5000, 421},  // not configurable
    {FtpServerKind::Proftpd, "127.0.0.13", 550, 530, 0, 550},
    {FtpServerKind::Pyftpdlib, "127.0.0.14", 550, 530, 0, 550},
};

// Each certificate the server may show, and what the upload makes of it.
struct CertificateRow {
  const char* Name;
  std::string TestCertificates::*Certificate;
  bool TrustTestCA;
  const char* Failure;  // in the message; nullptr: the upload succeeds
};

const CertificateRow Certificates[] = {
    {"good, trusted through the CA file", &TestCertificates::Good, true, nullptr},
    {"good, but its CA is not in the system store", &TestCertificates::Good, false, "fails the trust check"},
    {"expired", &TestCertificates::Expired, true, "fails the validity check: certificate has expired"},
    {"for another host", &TestCertificates::WrongName, true, "fails the host name check"},
    {"self-signed", &TestCertificates::SelfSigned, true, "fails the trust check: self-signed certificate"},
};

const ServerRow& RowOf(FtpServerKind kind) {
  return *std::find_if(std::begin(Servers), std::end(Servers), [&](const ServerRow& each) { return each.Kind == kind; });
}

class RealFtpServer : public ::testing::Test {
protected:
  void Check(FtpServerKind kind) {
    const ServerRow& row = RowOf(kind);
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

  void CheckTLS(FtpServerKind kind) {
    const ServerRow& row = RowOf(kind);
    if (std::string why = FtpServer::Unavailable(kind); !why.empty()) GTEST_SKIP() << why;
    TestCertificates certificates(row.Address);
    for (const CertificateRow& each : Certificates) {
      SCOPED_TRACE(each.Name);
      FtpServer server({.kind = kind, .address = row.Address, .port = 0, .banner = true,
                        .certificate = certificates.*each.Certificate, .key = certificates.Key});
      TIdFTP ftp;
      Prepare(ftp, server, false);
      if (!each.Failure) {
        for (bool passive : {false, true}) StoreByteForByte(server, passive, certificates.CA);
        if (auto e = Raised<EIdProtocolReplyError>([&] { ftp.ConnectServer(true, -1); })) {
          EXPECT_EQ(e->ReplyCode, row.ClearLoginCode) << e->what();
        }
        continue;
      }
      ftp.UseTLS = true;
      if (each.TrustTestCA) ftp.TLSCAFile = certificates.CA;
      if (auto e = Raised<EIdTLSError>([&] { ftp.ConnectServer(true, -1); })) {
        EXPECT_NE(std::string(e->what()).find(each.Failure), std::string::npos) << e->what();
      }
      EXPECT_FALSE(ftp.IsConnected());
    }
  }

  void Prepare(TIdFTP& ftp, const FtpServer& server, bool passive, int readTimeoutMs = 10000) {
    ftp.Host = server.host();
    ftp.Port = server.port();
    ftp.Username = FtpServer::User;
    ftp.Password = FtpServer::Password;
    ftp.Passive = passive;
    ftp.ReadTimeout = readTimeoutMs;  // a fault must not hang the test
  }

  // Over TLS when a CA file is given; through a relay on 127.0.0.1 when its port is.
  void StoreByteForByte(const FtpServer& server, bool passive, const std::string& caFile = "", int relayPort = 0) {
    TIdFTP ftp;
    Prepare(ftp, server, passive);
    if (!caFile.empty()) ftp.UseTLS = true, ftp.TLSCAFile = caFile;
    if (relayPort != 0) ftp.Host = "127.0.0.1", ftp.Port = relayPort;
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
// The control connection through a relay that keeps every byte crossing it;
// the data connections come back to us directly (active mode), and hold no
// part of the account anyway.
TEST_F(RealFtpServer, OverTLSNoByteOfThePasswordCrossesInClear) {
  if (std::string why = FtpServer::Unavailable(FtpServerKind::Vsftpd); !why.empty()) GTEST_SKIP() << why;
  TestCertificates certificates("127.0.0.1");
  FtpServer server({.kind = FtpServerKind::Vsftpd, .address = "127.0.0.15", .port = 0, .banner = true,
                    .certificate = certificates.Good, .key = certificates.Key});
  int relayPort = 0;
  const int listener = ListenOn("127.0.0.1", relayPort);
  std::string crossed;
  std::thread relay([&] {
    LoopbackClient client(::accept(listener, nullptr, nullptr)), upstream(server.host(), server.port());
    pollfd ends[2] = {{client.fd(), POLLIN, 0}, {upstream.fd(), POLLIN, 0}};
    char bytes[65536];
    for (ssize_t got = 1; got > 0 && ::poll(ends, 2, 10000) > 0;) {
      const int from = ends[0].revents ? 0 : 1;
      if ((got = ::recv(ends[from].fd, bytes, sizeof bytes, 0)) > 0 &&
          ::send(ends[1 - from].fd, bytes, static_cast<size_t>(got), MSG_NOSIGNAL) == got)
        crossed.append(bytes, static_cast<size_t>(got));
    }
  });
  StoreByteForByte(server, false, certificates.CA, relayPort);
  relay.join();
  ::close(listener);
  EXPECT_NE(crossed.find("AUTH TLS"), std::string::npos);
  const std::string password = FtpServer::Password;
  for (size_t at = 0; at + 5 <= password.size(); ++at)  // nor any five bytes of it
    EXPECT_EQ(crossed.find(password.substr(at, 5)), std::string::npos) << password.substr(at, 5);
}

TEST_F(RealFtpServer, VsftpdOverTLSStoresByteForByteAndRefusesBadCertificates) { CheckTLS(FtpServerKind::Vsftpd); }
TEST_F(RealFtpServer, PureFtpdOverTLSStoresByteForByteAndRefusesBadCertificates) { CheckTLS(FtpServerKind::PureFtpd); }
TEST_F(RealFtpServer, ProftpdOverTLSStoresByteForByteAndRefusesBadCertificates) { CheckTLS(FtpServerKind::Proftpd); }
TEST_F(RealFtpServer, PyftpdlibOverTLSStoresByteForByteAndRefusesBadCertificates) {
  CheckTLS(FtpServerKind::Pyftpdlib);
}

}  // namespace
}  // namespace korv
