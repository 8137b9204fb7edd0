// Atomic publishing through the station's upload against every server of
// the FTP conformance suite: while several pictures are published, a reader
// in the server's folder only ever finds a whole one of them (or, on a
// server that won't rename over a file, briefly none).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <iterator>
#include <vector>
#include <thread>

#include "camera/Obturo.h"
#include "ftp/IdException.h"
#include "ftp/IdFTP.h"
#include "station/Station.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

namespace korv::test {
namespace {

struct ServerRow {
  FtpServerKind Kind;
  const char* Address;
  int RenameOverFileReply;  // RNTO naming a file that exists
};

const ServerRow Servers[] = {
    {FtpServerKind::Vsftpd, "127.0.0.21", 250},
    {FtpServerKind::PureFtpd, "127.0.0.22", 250},
    {FtpServerKind::Proftpd, "127.0.0.23", 250},
    {FtpServerKind::Pyftpdlib, "127.0.0.24", 250},
};

class Sink final : public StationSink {
public:
  void ShowStatus(const std::string&) override {}
  void ShowPreview(const std::string&) override {}
  void ShowUploadStatus(const std::string& text) override { Uploads.push_back(text); }
  void ShowConnected(bool) override {}
  void ShowProgress(int) override {}
  std::vector<std::string> Uploads;
};

class AtomicPublishTest : public ::testing::Test {
protected:
  AtomicPublishTest() : Core(Camera, Ftp, Local.path()) {}

  void Check(FtpServerKind kind) {
    const ServerRow& row = *std::find_if(std::begin(Servers), std::end(Servers),
                                         [&](const ServerRow& each) { return each.Kind == kind; });
    if (std::string why = FtpServer::Unavailable(kind); !why.empty()) GTEST_SKIP() << why;
    FtpServer server({.kind = kind, .address = row.Address, .port = 0});
    const std::string live = server.publicHtml() + "/" + kLivePicture;
    EXPECT_EQ(RenameOverFileReply(server), row.RenameOverFileReply);
    std::filesystem::remove(live);

    Core.State.upload_host = server.host();
    Core.State.upload_port = server.port();
    Core.State.atomic_publish = true;
    std::atomic<bool> uploading{true};
    std::atomic<int> reads{0}, halves{0}, gaps{0};
    std::thread reader([&] {
      bool seenOne = false;
      while (uploading) {
        std::string seen = ReadFile(live);
        if (seen.empty()) {
          if (seenOne) ++gaps;  // missing after the first picture came
          continue;
        }
        seenOne = true;
        ++reads;
        if (std::find(Pictures.begin(), Pictures.end(), seen) == Pictures.end()) ++halves;
      }
    });
    for (size_t i = 0; i < Pictures.size(); ++i) {
      const std::string name = "00000" + std::to_string(i + 1) + ".jpg";
      WriteFile(Local.file(name), Pictures[i]);
      Feedback.Uploads.clear();
      Core.Upload(Local.file(name), name, {FtpServer::User, FtpServer::Password, false}, Feedback);
      EXPECT_EQ(Feedback.Uploads.back(), "Feltöltés sikeres") << name;
      EXPECT_TRUE(ReadFile(live) == Pictures[i]) << name;
      EXPECT_FALSE(std::filesystem::exists(server.publicHtml() + "/" + kPartialLivePicture));
    }
    uploading = false;
    reader.join();
    EXPECT_GT(reads, Pictures.size());
    EXPECT_EQ(halves, 0) << "of " << reads << " reads";
    // Renamed over the old one, the live picture is never missing.
    if (row.RenameOverFileReply == 250) {
      EXPECT_EQ(gaps, 0);
    }
  }

  // The server's own answer to a rename over an existing file.
  int RenameOverFileReply(const FtpServer& server) {
    WriteFile(server.publicHtml() + "/a", "a");
    WriteFile(server.publicHtml() + "/b", "b");
    TIdFTP ftp;
    ftp.Host = server.host();
    ftp.Port = server.port();
    ftp.Username = FtpServer::User;
    ftp.Password = FtpServer::Password;
    ftp.ReadTimeout = 10000;
    ftp.ConnectServer(true, -1);
    ftp.ChangeDirectory("public_html");
    ftp.SendCommand("RNFR a", 350);
    int reply = ftp.SendCommand("RNTO b", -1);
    ftp.SignOff();
    return reply;
  }

  // Pictures of 1 to 2 MB, so that each store takes a while.
  const std::vector<std::string> Pictures = [] {
    std::vector<std::string> pictures;
    for (unsigned i = 0; i < 6; ++i) pictures.push_back(RandomBytes(1000000 + 200000 * i, 100 + i));
    return pictures;
  }();
  TempDir Local;
  TObturo Camera;
  TIdFTP Ftp;
  Station Core;
  Sink Feedback;
};

TEST_F(AtomicPublishTest, VsftpdAlwaysHoldsAWholePicture) { Check(FtpServerKind::Vsftpd); }
TEST_F(AtomicPublishTest, PureFtpdAlwaysHoldsAWholePicture) { Check(FtpServerKind::PureFtpd); }
TEST_F(AtomicPublishTest, ProftpdAlwaysHoldsAWholePicture) { Check(FtpServerKind::Proftpd); }
TEST_F(AtomicPublishTest, PyftpdlibAlwaysHoldsAWholePicture) { Check(FtpServerKind::Pyftpdlib); }

}  // namespace
}  // namespace korv::test
