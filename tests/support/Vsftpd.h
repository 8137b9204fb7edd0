// A real FTP server for tests: vsftpd in the foreground on a loopback
// address, with a throw-away configuration in a temporary folder, started by
// the constructor and stopped by the destructor.
//
// It logs in the test user that tests/ftp/prepare-login creates once (the
// README's test command runs it); the user starts in a fresh folder of its
// own that holds a writable, empty public_html. It installs nothing: when the
// machine can't run it (not root, vsftpd or the login missing) Unavailable()
// says why, and tests skip:
//
//   if (auto why = Vsftpd::Unavailable(); !why.empty()) GTEST_SKIP() << why;
//   Vsftpd server;
//   ... upload to server.host():server.port() as Vsftpd::User ...
//   EXPECT_EQ(ReadFile(server.publicHtml() + "/koftplive.jpg"), picture);
//
// Every server listens on port 21 of the same address by default, so test
// executables that use it give their tests `RESOURCE_LOCK vsftpd`.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

namespace korv::test {

class TempDir;

class Vsftpd {
public:
  static constexpr const char* User = "korvftp";
  static constexpr const char* Password = "korv-ftp-test";

  struct Options {
    std::string address = "127.0.0.2";
    int port = 21;
  };

  // Why no server can be started on this machine, or "" when it can.
  static std::string Unavailable();

  // Starts the server and waits (at most 5 s) until it greets with 220;
  // throws std::runtime_error with vsftpd's own words when it does not.
  Vsftpd() : Vsftpd(Options()) {}
  explicit Vsftpd(Options options);
  ~Vsftpd();
  Vsftpd(const Vsftpd&) = delete;
  Vsftpd& operator=(const Vsftpd&) = delete;

  const std::string& host() const { return Opts.address; }
  int port() const { return Opts.port; }
  // The folder "public_html" of the test user: where uploads land.
  std::string publicHtml() const;

  // Stops the server and every session it serves (bounded); the files stay.
  void stop();
  // Starts it again after stop(), with the same folders.
  void start();
  bool running() const { return Pid > 0; }

private:
  Options Opts;
  std::unique_ptr<TempDir> Dir;
  pid_t Pid = -1;
};

}  // namespace korv::test
