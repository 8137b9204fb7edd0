// How long a server can hold one upload, measured: for each wait of the
// README's bounds table a server that stops at that point (the scripted
// server in clear, a frozen vsftpd over TLS), against the FTP client set up
// with the station's values, and the time from the last byte the server took
// or sent to the failure. Usage: ftp_bounds_run [DIVISOR]: every bound
// divided by DIVISOR (default 1, the station's own values: about 8 minutes).
// The TLS rows need what the vsftpd tests need (root, tests/ftp/prepare-login).
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ftp/IdFTP.h"
#include "ftp/IdStack.h"
#include "runtime/ScopeExit.h"
#include "station/Station.h"
#include "tests/support/FtpServer.h"
#include "tests/support/LoopbackClient.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"

namespace korv {
namespace {

using namespace korv::test;
using Clock = std::chrono::steady_clock;

int Divisor = 1;

// The client as the station sets it up for an upload, bounds divided.
void AsTheStation(TIdFTP& ftp, const std::string& host, int port) {
  const StationConfig config;
  ftp.Host = host;
  ftp.Port = port;
  ftp.Username = "user";
  ftp.Password = "secret";
  ftp.ReadTimeout = ftp.WriteTimeout = config.UploadTimeoutMs / Divisor;
  ftp.ConnectTimeout /= Divisor;
  ftp.ReplyTimeout /= Divisor;
  ftp.AcceptTimeout /= Divisor;
  ftp.TransferTimeout /= Divisor;
  ftp.TLSTimeout /= Divisor;
}

Clock::time_point FailedAt;

// The call that must fail, timed before the servers of the row go away.
template <typename Call>
void Measured(Call call) {
  try {
    call();
  } catch (...) {
    FailedAt = Clock::now();
    throw;
  }
}

// Runs `upload`, which must fail; prints the seconds from `since` (updated
// by the upload as bytes move) to the failure beside the stated bound.
void Row(const char* wait, int boundMs, const std::function<void(Clock::time_point&)>& upload) {
  Clock::time_point since = Clock::now();
  FailedAt = since;
  std::string failure = "no failure";
  try {
    upload(since);
  } catch (const std::exception& e) {
    failure = e.what();
  }
  for (char& c : failure)
    if (c == '\r' || c == '\n') c = ' ';
  const double seconds = std::chrono::duration<double>(FailedAt - since).count();
  std::printf("| %s | %.1f s | %.1f s | %s |\n", wait, boundMs / 1000.0, seconds, failure.c_str());
  std::fflush(stdout);
}

const std::vector<Step> Login = {Send("220 ready\r\n"), Expect("USER user"), Send("331 pw\r\n"),
                                 Expect("PASS secret"), Send("230 in\r\n"), Expect("TYPE I"), Send("200 I\r\n"),
                                 Expect("SYST"), Send("215 UNIX\r\n")};

std::vector<Step> Then(std::vector<Step> steps) {
  steps.insert(steps.begin(), Login.begin(), Login.end());
  return steps;
}

void ClearRows(const std::string& big) {
  TIdFTP probe;
  AsTheStation(probe, "", 0);
  Row("connecting, the server's backlog full", probe.ConnectTimeout, [](Clock::time_point& since) {
    int port = 0;
    const int listener = ListenOn("127.0.0.31", port);
    ::listen(listener, 0);
    // Fill the backlog, without waiting; further connects are never answered.
    sockaddr_in address = TIdStack::MakeSockAddr("127.0.0.31", port);
    std::vector<int> filling;
    for (int i = 0; i < 4; ++i) {
      filling.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
      ::connect(filling.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    auto closeAll = ScopeExit([&] {
      for (int fd : filling) ::close(fd);
      ::close(listener);
    });
    TIdFTP ftp;
    AsTheStation(ftp, "127.0.0.31", port);
    since = Clock::now();
    Measured([&] { ftp.ConnectServer(true, -1); });
  });
  Row("the first byte of a reply (no greeting)", probe.ReadTimeout, [](Clock::time_point& since) {
    ScriptedServer server({Stall()});
    TIdFTP ftp;
    AsTheStation(ftp, server.host(), server.port());
    since = Clock::now();
    Measured([&] { ftp.ConnectServer(true, -1); });
  });
  Row("a reply that never ends", probe.ReplyTimeout, [](Clock::time_point& since) {
    std::vector<Step> drip = {Send("220-welcome\r\n")};
    for (int i = 0; i < 200; ++i) drip.insert(drip.end(), {Pause(1000 / Divisor), Send("220-more\r\n")});
    ScriptedServer server(drip, {.stepTimeoutMs = 120000});
    TIdFTP ftp;
    AsTheStation(ftp, server.host(), server.port());
    since = Clock::now();
    Measured([&] { ftp.ConnectServer(true, -1); });
  });
  Row("the server connecting back in active mode", probe.AcceptTimeout, [](Clock::time_point& since) {
    ScriptedServer server(Then({ExpectPort(), Send("200 ok\r\n"), Expect("STOR koftplive.jpg"), Send("150 go\r\n"),
                                Stall()}));
    TIdFTP ftp;
    AsTheStation(ftp, server.host(), server.port());
    ftp.ConnectServer(true, -1);
    TStringStream picture("picture");
    ftp.OnStatus = [&](TIdComponent*, TIdStatus status, const std::string&) {
      if (status == ftpTransfer) since = Clock::now();
    };
    Measured([&] { ftp.StoreStream(picture, "koftplive.jpg"); });
  });
  Row("a store to a server that stops reading", probe.WriteTimeout, [&](Clock::time_point& since) {
    ScriptedServer server(Then({Expect("PASV"), Passive(), Expect("STOR koftplive.jpg"), Send("150 go\r\n"), Stall()}));
    TIdFTP ftp;
    AsTheStation(ftp, server.host(), server.port());
    ftp.Passive = true;
    ftp.ConnectServer(true, -1);
    TStringStream picture(big);
    ftp.OnWork = [&](TIdComponent*, TWorkMode, int64_t) { since = Clock::now(); };
    Measured([&] { ftp.StoreStream(picture, "koftplive.jpg"); });
  });
  Row("the TLS handshake (the server says 234, then nothing)", probe.TLSTimeout, [](Clock::time_point& since) {
    ScriptedServer server({Send("220 ready\r\n"), Expect("AUTH TLS"), Send("234 go\r\n"), Stall()});
    TIdFTP ftp;
    AsTheStation(ftp, server.host(), server.port());
    ftp.UseTLS = true;
    ftp.OnStatus = [&](TIdComponent*, TIdStatus status, const std::string&) {
      if (status == hsConnected) since = Clock::now();
    };
    Measured([&] { ftp.ConnectServer(true, -1); });
  });
}

void TlsRows(const std::string& big) {
  if (std::string why = FtpServer::Unavailable(FtpServerKind::Vsftpd); !why.empty()) {
    std::printf("TLS rows skipped: %s\n", why.c_str());
    return;
  }
  TestCertificates certificates("127.0.0.32");
  TempDir local;
  WriteFile(local.file("big.jpg"), big);
  auto session = [&](FtpServer& server, TIdFTP& ftp, bool passive) {
    AsTheStation(ftp, server.host(), server.port());
    ftp.Username = FtpServer::User;
    ftp.Password = FtpServer::Password;
    ftp.UseTLS = true;
    ftp.TLSCAFile = certificates.CA;
    ftp.Passive = passive;
    ftp.ConnectServer(true, -1);
    ftp.ChangeDirectory("public_html");
  };
  TIdFTP probe;
  AsTheStation(probe, "", 0);
  for (bool passive : {false, true}) {
    const std::string mode = passive ? ", passive" : ", active";
    FtpServer server({.kind = FtpServerKind::Vsftpd, .address = "127.0.0.32", .port = 0,
                      .certificate = certificates.Good, .key = certificates.Key});
    Row(("TLS: a store to a server that stops reading" + mode).c_str(), probe.WriteTimeout,
        [&](Clock::time_point& since) {
          TIdFTP ftp;
          session(server, ftp, passive);
          bool paused = false;
          ftp.OnWork = [&](TIdComponent*, TWorkMode, int64_t total) {
            since = Clock::now();
            if (!paused && total > 1000000) server.freeze(true), paused = true;
          };
          Measured([&] { ftp.UploadFile(local.file("big.jpg"), "koftplive.jpg"); });
        });
    server.freeze(false);
    Row(("TLS: the first byte of a reply" + mode).c_str(), probe.ReadTimeout, [&](Clock::time_point& since) {
      TIdFTP ftp;
      session(server, ftp, passive);
      server.freeze(true);
      since = Clock::now();
      Measured([&] { ftp.ChangeDirectory("."); });
    });
    server.freeze(false);
  }
}

}  // namespace
}  // namespace korv

int main(int argc, char** argv) {
  korv::Divisor = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
  std::printf("Bounds divided by %d\n\n| wait | bound | measured | failure |\n|---|---|---|---|\n", korv::Divisor);
  // Far more than the socket buffers of both ends hold.
  const std::string big = korv::test::RandomBytes(64 << 20, 1);
  korv::ClearRows(big);
  korv::TlsRows(big);
  return 0;
}
