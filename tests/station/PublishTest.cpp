// Atomic publishing through the station's upload against every server of
// the FTP conformance suite, and the two that can be told never to replace a
// file: while several pictures are published, a reader in the server's
// folder only ever finds a whole one of them (or, where a rename can't
// replace the live picture and it is deleted first, briefly none); the
// same over TLS.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <thread>
#include <vector>

#include "camera/Obturo.h"
#include "ftp/IdFTP.h"
#include "station/Station.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"

namespace korv::test {
namespace {

using namespace std::chrono_literals;

struct ServerRow {
  FtpServerKind Kind;
  bool KeepFiles;           // configured never to replace a file
  const char* Address;
  int RenameOverFileReply;  // RNTO naming a file that exists
  int DeleteReply;          // DELE of a file
};

const ServerRow Servers[] = {
    {FtpServerKind::Vsftpd, false, "127.0.0.21", 250, 250},
    {FtpServerKind::PureFtpd, false, "127.0.0.22", 250, 250},
    {FtpServerKind::PureFtpd, true, "127.0.0.25", 250, 550},
    {FtpServerKind::Proftpd, false, "127.0.0.23", 250, 250},
    {FtpServerKind::Proftpd, true, "127.0.0.26", 550, 250},  // deleted first
    {FtpServerKind::Pyftpdlib, false, "127.0.0.24", 250, 250},
};

struct LastUploadStatus final : StationSink {
  void ShowStatus(const std::string&) override {}
  std::optional<double> ShowPreview(const std::string&) override { return std::nullopt; }
  void ShowUploadStatus(const std::string& text) override { Text = text; }
  void ShowConnected(bool) override {}
  void ShowProgress(int) override {}
  std::string Text;
};

class AtomicPublishTest : public ::testing::Test {
protected:

  void Check(FtpServerKind kind, bool keepFiles = false, bool tls = false) {
    const ServerRow& row = *std::find_if(std::begin(Servers), std::end(Servers), [&](const ServerRow& each) {
      return each.Kind == kind && each.KeepFiles == keepFiles;
    });
    if (std::string why = FtpServer::Unavailable(kind); !why.empty()) GTEST_SKIP() << why;
    TestCertificates certificates(row.Address);
    FtpServer server({.kind = kind, .address = row.Address, .port = 0, .keepFiles = keepFiles,
                      .certificate = tls ? certificates.Good : "", .key = certificates.Key});
    Ftp.UseTLS = tls;
    Ftp.TLSCAFile = certificates.CA;
    const std::string live = server.publicHtml() + "/" + kLivePicture;
    Ftp.Host = server.host();
    Ftp.Port = server.port();
    // The server's own answers to a rename over a file and to a delete.
    WriteFile(server.publicHtml() + "/a", "a");
    WriteFile(server.publicHtml() + "/b", "b");
    Ftp.Username = FtpServer::User;
    Ftp.Password = FtpServer::Password;
    Ftp.ReadTimeout = 10000;
    Ftp.ConnectServer(true, -1);
    Ftp.ChangeDirectory("public_html");
    Ftp.SendCommand("RNFR a", 350);
    EXPECT_EQ(Ftp.SendCommand("RNTO b", -1), row.RenameOverFileReply);
    EXPECT_EQ(Ftp.SendCommand("DELE b", -1), row.DeleteReply);
    Ftp.SignOff();
    Station core(Camera, Ftp, Local.path(),
                 {.UploadHost = server.host(), .UploadPort = server.port(), .AtomicPublish = true,
                  .UploadTls = tls, .UploadTlsCAFile = certificates.CA});

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
      core.Upload(Local.file(name), name, {FtpServer::User, FtpServer::Password, false}, Feedback);
      EXPECT_EQ(Feedback.Text, "Feltöltés sikeres") << name;
      EXPECT_TRUE(ReadFile(live) == Pictures[i]) << name;
      EXPECT_FALSE(std::filesystem::exists(server.publicHtml() + "/" + kPartialLivePicture));
      // The reader sees each picture, and reads on while the next is stored.
      const int before = reads;
      for (int wait = 0; reads == before && wait < 5000; ++wait) std::this_thread::sleep_for(1ms);
    }
    uploading = false;
    reader.join();
    EXPECT_GE(reads, static_cast<int>(Pictures.size()));
    EXPECT_EQ(halves, 0) << "of " << reads << " reads";
    // Renamed over the old one, the live picture is never missing.
    if (row.RenameOverFileReply == 250) {
      EXPECT_EQ(gaps, 0);
    }
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
  LastUploadStatus Feedback;
};

TEST_F(AtomicPublishTest, VsftpdAlwaysHoldsAWholePicture) { Check(FtpServerKind::Vsftpd); }
TEST_F(AtomicPublishTest, PureFtpdAlwaysHoldsAWholePicture) { Check(FtpServerKind::PureFtpd); }
TEST_F(AtomicPublishTest, ProftpdAlwaysHoldsAWholePicture) { Check(FtpServerKind::Proftpd); }
TEST_F(AtomicPublishTest, PyftpdlibAlwaysHoldsAWholePicture) { Check(FtpServerKind::Pyftpdlib); }
TEST_F(AtomicPublishTest, VsftpdOverTLSAlwaysHoldsAWholePicture) { Check(FtpServerKind::Vsftpd, false, true); }
TEST_F(AtomicPublishTest, PureFtpdOverTLSAlwaysHoldsAWholePicture) { Check(FtpServerKind::PureFtpd, false, true); }
TEST_F(AtomicPublishTest, ProftpdOverTLSAlwaysHoldsAWholePicture) { Check(FtpServerKind::Proftpd, false, true); }
TEST_F(AtomicPublishTest, PyftpdlibOverTLSAlwaysHoldsAWholePicture) { Check(FtpServerKind::Pyftpdlib, false, true); }
TEST_F(AtomicPublishTest, PureFtpdKeepingAllFilesAlwaysHoldsAWholePicture) { Check(FtpServerKind::PureFtpd, true); }
TEST_F(AtomicPublishTest, ProftpdWithoutOverwriteHoldsAWholePictureOrNone) { Check(FtpServerKind::Proftpd, true); }

}  // namespace
}  // namespace korv::test
