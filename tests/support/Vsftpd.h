// The vsftpd of the tests: an FtpServer of that kind with a plain greeting,
// on port 21 of 127.0.0.2 unless told otherwise.
//
//   if (auto why = Vsftpd::Unavailable(); !why.empty()) GTEST_SKIP() << why;
//   Vsftpd server;
//   ... upload to server.host():server.port() as Vsftpd::User ...
//   EXPECT_EQ(ReadFile(server.publicHtml() + "/koftplive.jpg"), picture);
//
// Every such server listens on the same address and port by default, so test
// executables that use it give their tests `RESOURCE_LOCK vsftpd`.
#pragma once

#include <string>

#include "tests/support/FtpServer.h"

namespace korv::test {

class Vsftpd : public FtpServer {
public:
  struct Options {
    std::string address = "127.0.0.2";
    int port = 21;
  };

  static std::string Unavailable() { return FtpServer::Unavailable(FtpServerKind::Vsftpd); }

  Vsftpd() : Vsftpd(Options()) {}
  explicit Vsftpd(const Options& options)
      : FtpServer({.kind = FtpServerKind::Vsftpd, .address = options.address, .port = options.port}) {}
};

}  // namespace korv::test
