// The page's files: published when they differ from what was published,
// remembered across a restart, sent again when they change.
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "ftp/IdFTP.h"
#include "page/PageFiles.h"
#include "station/PublishQueue.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

namespace korv::test {
namespace {

TEST(PageFilesTest, PublishesWhatDiffersFromWhatWasPublished) {
  if (auto why = FtpServer::Unavailable(FtpServerKind::Pyftpdlib); !why.empty()) GTEST_SKIP() << why;
  FtpServer server({.kind = FtpServerKind::Pyftpdlib, .address = "127.0.0.44", .port = 0});
  TempDir web, work;
  WriteFile(web.file("index.html"), "<html lang=\"hu\">");
  WriteFile(web.file("live.js"), "'use strict';");
  WriteFile(web.file(".hidden"), "not published");
  PublishQueue queue([](const std::string&) {});
  auto publish = [&] {
    TIdFTP ftp;
    std::tie(ftp.Host, ftp.Port, ftp.Username, ftp.Password) =
        std::tuple(server.host(), server.port(), FtpServer::User, FtpServer::Password);
    ftp.ReadTimeout = 10000;
    ftp.ConnectServer(true, -1);
    ftp.ChangeDirectory("public_html");
    queue.Publish(ftp);
    ftp.SignOff();
  };
  {
    PageFiles page(web.path(), work.file("page-files"));
    EXPECT_EQ(page.QueueChanged(queue), 2);
    EXPECT_EQ(page.QueueChanged(queue), 0) << "queued already";
    publish();
    EXPECT_EQ(ReadFile(server.publicHtml() + "/live.js"), "'use strict';");
    EXPECT_EQ(page.QueueChanged(queue), 0);
  }
  PageFiles restarted(web.path(), work.file("page-files"));
  EXPECT_TRUE(restarted.Changed().empty()) << "published before the restart";
  WriteFile(web.file("live.js"), "'use strict'; // changed");
  EXPECT_EQ(restarted.Changed(), std::vector<std::string>{"live.js"});
  EXPECT_EQ(restarted.QueueChanged(queue), 1);
  publish();
  EXPECT_EQ(ReadFile(server.publicHtml() + "/live.js"), "'use strict'; // changed");
  EXPECT_FALSE(std::filesystem::exists(server.publicHtml() + "/.hidden"));
}

}  // namespace
}  // namespace korv::test
