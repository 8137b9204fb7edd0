// A real FTP server for tests: vsftpd, pure-ftpd, proftpd or pyftpdlib in
// the foreground on a loopback address, with a throw-away configuration in a
// temporary folder, started by the constructor and stopped by the destructor.
//
// Every kind logs in the same test account: vsftpd the local user that
// tests/ftp/prepare-login creates once (the README's test command runs it),
// the others a virtual user of their own that writes with that local user's
// rights. The session starts in a fresh folder that holds a writable, empty
// public_html and, inside it, a folder "locked" where every store is refused.
// pure-ftpd and proftpd are run from where scripts/ftp-servers unpacked them
// in the build tree. Nothing is installed here: when the machine can't run a
// kind (not root, the server or the login missing), Unavailable() says why
// and tests skip:
//
//   if (auto why = FtpServer::Unavailable(kind); !why.empty()) GTEST_SKIP() << why;
//   FtpServer server({.kind = kind, .address = "127.0.0.11"});
//   ... upload to server.host():server.port() as FtpServer::User ...
//
// Servers on the same address and port can't run side by side: give each
// test its own address, or port 0 for a free port, or a RESOURCE_LOCK.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace korv::test {

class TempDir;

enum class FtpServerKind { Vsftpd, PureFtpd, Proftpd, Pyftpdlib };

class FtpServer {
public:
  static constexpr const char* User = "korvftp";
  static constexpr const char* Password = "korv-ftp-test";

  struct Options {
    FtpServerKind kind = FtpServerKind::Vsftpd;
    std::string address = "127.0.0.2";
    int port = 21;  // 0: a free one, chosen at construction
    // A greeting of several lines, among them a short, a blank and one that
    // starts with digits, as far as the kind lets its greeting be set.
    bool banner = false;
    // Files are never replaced: proftpd with AllowOverwrite off, pure-ftpd
    // keeping all files (-K); vsftpd and pyftpdlib have no such setting.
    bool keepFiles = false;
    // Both set: logins and data only over TLS (RFC 4217) with this
    // certificate and key; vsftpd and proftpd also require the data
    // connections to resume the control connection's session.
    std::string certificate = "";
    std::string key = "";
  };

  static const char* Name(FtpServerKind kind);
  // Why this kind can't be started on this machine, or "" when it can.
  static std::string Unavailable(FtpServerKind kind);

  // Starts the server and waits (at most 5 s) until it greets with 220;
  // throws std::runtime_error with the server's own words when it does not.
  explicit FtpServer(Options options);
  ~FtpServer();
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;

  const std::string& host() const { return Opts.address; }
  int port() const { return Opts.port; }
  // The folder "public_html" of the test user: where uploads land.
  std::string publicHtml() const;

  // Stops the server and every session it serves (bounded); the files stay.
  void stop();
  // Starts it again after stop(), with the same folders.
  void start();
  // Freezes the server and its sessions (SIGSTOP): it answers and reads
  // nothing, its sockets stay open; false thaws them.
  void freeze(bool frozen);
  bool running() const { return Pid > 0; }

private:
  void Configure();
  std::vector<std::string> CommandLine() const;

  Options Opts;
  std::unique_ptr<TempDir> Dir;
  pid_t Pid = -1;
};

}  // namespace korv::test
