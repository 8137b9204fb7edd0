// The vsftpd harness itself, with a plain client: the real-server tests of
// the FTP client rely on it starting, logging the test user in and stopping.
#include "tests/support/Vsftpd.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/LoopbackClient.h"

namespace korv {
namespace {

using namespace korv::test;
using ::testing::StartsWith;

// Not the default address and port, which the station's tests use.
const Vsftpd::Options Here = {.address = "127.0.0.21", .port = 0};

class VsftpdHarnessTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (std::string why = Vsftpd::Unavailable(); !why.empty()) GTEST_SKIP() << why;
  }
};

TEST_F(VsftpdHarnessTest, LogsTheTestUserInWhereAnEmptyPublicHtmlIsWritable) {
  Vsftpd server(Here);
  LoopbackClient c(server.host(), server.port());
  EXPECT_THAT(c.readLine(), StartsWith("220 "));
  EXPECT_THAT(c.command(std::string("USER ") + Vsftpd::User), StartsWith("331 "));
  EXPECT_THAT(c.command(std::string("PASS ") + Vsftpd::Password), StartsWith("230 "));
  EXPECT_THAT(c.command("CWD public_html"), StartsWith("250 "));
  EXPECT_THAT(c.command("MKD made-by-test"), StartsWith("257 "));
  EXPECT_TRUE(std::filesystem::is_directory(server.publicHtml() + "/made-by-test"));
}

TEST_F(VsftpdHarnessTest, WrongPasswordIsRefusedAtOnce) {
  Vsftpd server(Here);
  LoopbackClient c(server.host(), server.port());
  c.readLine();
  c.command(std::string("USER ") + Vsftpd::User);
  // 500 ms: far below the seconds a login delay would add.
  ASSERT_TRUE(c.send("PASS wrong\r\n"));
  EXPECT_THAT(c.readLine(500), StartsWith("530 "));
}

TEST_F(VsftpdHarnessTest, StopEndsOpenSessionsAndStartServesAgain) {
  Vsftpd server(Here);
  LoopbackClient session(server.host(), server.port());
  EXPECT_THAT(session.readLine(), StartsWith("220 "));
  server.stop();
  EXPECT_FALSE(LoopbackClient(server.host(), server.port()).connected());
  EXPECT_EQ(session.readLine(), "<closed>");
  server.start();
  LoopbackClient again(server.host(), server.port());
  EXPECT_THAT(again.readLine(), StartsWith("220 "));
}

TEST_F(VsftpdHarnessTest, RefusesToStartWhereAnotherServerAnswers) {
  Vsftpd server(Here);
  EXPECT_THROW(Vsftpd second({.address = server.host(), .port = server.port()}), std::runtime_error);
  LoopbackClient c(server.host(), server.port());
  EXPECT_THAT(c.readLine(), StartsWith("220 "));
}

}  // namespace
}  // namespace korv
