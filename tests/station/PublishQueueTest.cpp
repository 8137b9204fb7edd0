// Files published beside the live picture, against real servers: folders
// made as needed, nothing left under a temporary name, a refused file kept
// for the next session while the others go, a vanished one dropped.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

#include "ftp/IdFTP.h"
#include "station/PublishQueue.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

namespace korv::test {
namespace {

struct Session {
  explicit Session(const FtpServer& server) {
    Ftp.Host = server.host();
    Ftp.Port = server.port();
    Ftp.Username = FtpServer::User;
    Ftp.Password = FtpServer::Password;
    Ftp.ReadTimeout = 10000;
    Ftp.ConnectServer(true, -1);
    Ftp.ChangeDirectory("public_html");
  }
  ~Session() { Ftp.SignOff(); }
  TIdFTP Ftp;
};

TEST(PublishQueueTest, PublishesIntoFoldersAndKeepsWhatTheServerRefused) {
  const struct {
    FtpServerKind Kind;
    const char* Address;
  } servers[] = {{FtpServerKind::Vsftpd, "127.0.0.31"}, {FtpServerKind::Pyftpdlib, "127.0.0.32"}};
  std::string unavailable;
  for (const auto& row : servers) {
    SCOPED_TRACE(FtpServer::Name(row.Kind));
    if (std::string why = FtpServer::Unavailable(row.Kind); !why.empty()) {
      unavailable += why + "; ";
      continue;
    }
    FtpServer server({.kind = row.Kind, .address = row.Address, .port = 0});
    TempDir local;
    std::vector<std::string> log;
    PublishQueue queue([&](const std::string& line) { log.push_back(line); });
    const std::string video = RandomBytes(300000, 7);
    WriteFile(local.file("old.json"), "{}");
    WriteFile(local.file("status.json"), "{\"n\":1}");
    WriteFile(local.file("timelapse.mp4"), video);
    WriteFile(local.file("gone.jpg"), "x");
    queue.Add(local.file("old.json"), "koftplive.json");
    queue.Add(local.file("timelapse.mp4"), "blocked/timelapse.mp4");
    queue.Add(local.file("gone.jpg"), "gone.jpg");
    queue.Add(local.file("timelapse.mp4"), "nights/2026-12-09/timelapse.mp4");
    queue.Add(local.file("status.json"), "koftplive.json");  // replaces the older entry
    std::filesystem::remove(local.file("gone.jpg"));
    // A file where a folder should be: the store into it is refused.
    WriteFile(server.publicHtml() + "/blocked", "not a folder");
    {
      Session session(server);
      EXPECT_EQ(queue.Publish(session.Ftp), 2);
    }
    const std::string html = server.publicHtml();
    EXPECT_EQ(ReadFile(html + "/koftplive.json"), "{\"n\":1}");
    EXPECT_TRUE(ReadFile(html + "/nights/2026-12-09/timelapse.mp4") == video);
    EXPECT_FALSE(std::filesystem::exists(html + "/nights/2026-12-09/timelapse.mp4.part"));
    EXPECT_EQ(queue.Pending(), 1u);
    EXPECT_TRUE(queue.IsPending("blocked/timelapse.mp4"));
    EXPECT_FALSE(queue.IsPending("gone.jpg"));
    bool refusalLogged = false, dropLogged = false;
    for (const std::string& line : log) {
      refusalLogged |= line.rfind("upload failed: blocked/timelapse.mp4: 5", 0) == 0;
      dropLogged |= line.rfind("upload: gone.jpg dropped", 0) == 0;
    }
    EXPECT_TRUE(refusalLogged);
    EXPECT_TRUE(dropLogged);
    // The next session tries the refused file again, into a folder it makes.
    std::filesystem::remove(html + "/blocked");
    {
      Session session(server);
      EXPECT_EQ(queue.Publish(session.Ftp), 1);
    }
    EXPECT_TRUE(ReadFile(html + "/blocked/timelapse.mp4") == video);
    EXPECT_EQ(queue.Pending(), 0u);
  }
  if (!unavailable.empty()) GTEST_SKIP() << unavailable;
}

TEST(PublishQueueTest, RefusesRemotePathsOutsideItsFolder) {
  PublishQueue queue([](const std::string&) {});
  for (const char* path : {"", "/etc/x", "a//b", "../x", "a/./b", "a/..", "x\r\nDELE y", "dir/"}) {
    SCOPED_TRACE(path);
    EXPECT_THROW(queue.Add("/tmp/x", path), std::invalid_argument);
  }
  EXPECT_EQ(queue.Pending(), 0u);
}

}  // namespace
}  // namespace korv::test
