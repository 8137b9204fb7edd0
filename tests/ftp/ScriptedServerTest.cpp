// The scripted server against a plain POSIX client, so that its own faults
// don't show up as faults of the FTP client tested with it.
#include "tests/support/ScriptedServer.h"

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace korv {
namespace {

using namespace korv::test;
using ::testing::HasSubstr;

sockaddr_in AddressOf(const std::string& host, int port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, host.c_str(), &sa.sin_addr);
  return sa;
}

class Socket {
public:
  explicit Socket(int fd) : Fd(fd) {}
  Socket(const std::string& host, int port) : Fd(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in sa = AddressOf(host, port);
    if (::connect(Fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) ADD_FAILURE() << "connect failed";
  }
  ~Socket() { Close(); }
  void Close() {
    if (Fd >= 0) ::close(Fd);
    Fd = -1;
  }
  void Send(const std::string& bytes) {
    ASSERT_EQ(::send(Fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
  }
  // One line with its CR LF; "" when nothing complete came within 2 s; "<closed>" at the end.
  std::string ReadLine(int timeoutMs = 2000) {
    std::string line;
    char c;
    while (line.empty() || line.back() != '\n') {
      pollfd p{Fd, POLLIN, 0};
      if (::poll(&p, 1, timeoutMs) != 1) return "";
      if (::recv(Fd, &c, 1, 0) != 1) return line.empty() ? "<closed>" : line;
      line += c;
    }
    return line;
  }
  int fd() const { return Fd; }

private:
  int Fd;
};

TEST(ScriptedServerTest, ConversationAsWrittenPassesAndRecordsTheClientBytes) {
  ScriptedServer s({Send("220 ready\r\n"), Expect("USER anonymous"), Send("331 pass\r\n"), Expect("PASS x"),
                    Send("230 in\r\n"), ExpectClose()});
  Socket c(s.host(), s.port());
  EXPECT_EQ(c.ReadLine(), "220 ready\r\n");
  c.Send("USER anonymous\r\n");
  EXPECT_EQ(c.ReadLine(), "331 pass\r\n");
  c.Send("PASS x\r\n");
  EXPECT_EQ(c.ReadLine(), "230 in\r\n");
  c.Close();
  EXPECT_EQ(s.finish(), "");
  EXPECT_EQ(s.received(), "USER anonymous\r\nPASS x\r\n");
}

struct MismatchCase {
  const char* name;
  std::vector<Step> script;
  std::string clientSends;  // then the client closes
  std::string mismatch;
  bool clientCloses = true;
};

class ScriptedServerMismatch : public ::testing::TestWithParam<MismatchCase> {};

TEST_P(ScriptedServerMismatch, ReportsTheFirstStepThatWentWrong) {
  ScriptedServer s(GetParam().script, {.stepTimeoutMs = 300});
  Socket c(s.host(), s.port());
  if (!GetParam().clientSends.empty()) c.Send(GetParam().clientSends);
  if (GetParam().clientCloses) c.Close();
  EXPECT_EQ(s.finish(), GetParam().mismatch);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScriptedServerMismatch,
    ::testing::Values(
        MismatchCase{"otherLine", {Expect("USER a"), Expect("PASS b")}, "USER b\r\nPASS b\r\n",
                     "step 1 Expect(\"USER a\"): got \"USER b\\r\\n\""},
        MismatchCase{"bareLineFeed", {Expect("USER a")}, "USER a\n", "step 1 Expect(\"USER a\"): got \"USER a\\n\""},
        MismatchCase{"closedEarly", {Expect("USER a")}, "USE", "step 1 Expect(\"USER a\"): the client closed after \"USE\""},
        MismatchCase{"silent", {Send("220 hi\r\n"), Expect("QUIT")}, "",
                     "step 2 Expect(\"QUIT\"): no line within 300 ms, got \"\"", false},
        MismatchCase{"bytesBeforeClose", {Expect("QUIT"), ExpectClose()}, "QUIT\r\nMORE\r\n",
                     "step 2 ExpectClose(): got \"MORE\\r\\n\" before the close"},
        MismatchCase{"badPort", {ExpectPort()}, "PORT 127,0,0,1,4\r\n",
                     "step 1 ExpectPort(): got \"PORT 127,0,0,1,4\\r\\n\""},
        MismatchCase{"portPadded", {ExpectPort()}, "PORT 127,0,0,01,4,1\r\n",
                     "step 1 ExpectPort(): got \"PORT 127,0,0,01,4,1\\r\\n\""},
        MismatchCase{"portForeignAddress", {ExpectPort()}, "PORT 10,0,0,5,4,1\r\n",
                     "step 1 ExpectPort(): got \"PORT 10,0,0,5,4,1\\r\\n\", an address other than the client's own "
                     "127.0.0.1"},
        MismatchCase{"connectBackWithoutPort", {ConnectBack()}, "", "step 1 ConnectBack(): no PORT line was received before"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(ScriptedServerTest, MismatchClosesTheConnectionSoTheClientDoesNotWait) {
  ScriptedServer s({Expect("USER a"), Send("331 never\r\n")});
  Socket c(s.host(), s.port());
  c.Send("USER b\r\n");
  EXPECT_EQ(c.ReadLine(), "<closed>");
  EXPECT_THAT(s.finish(), HasSubstr("got \"USER b\\r\\n\""));
}

TEST(ScriptedServerTest, StallAnswersNothingUntilFinished) {
  ScriptedServer s({Send("220 hi\r\n"), Stall()});
  Socket c(s.host(), s.port());
  EXPECT_EQ(c.ReadLine(), "220 hi\r\n");
  c.Send("USER a\r\n");
  EXPECT_EQ(c.ReadLine(200), "");
  EXPECT_EQ(s.finish(), "");
  EXPECT_EQ(c.ReadLine(), "<closed>");
  EXPECT_EQ(s.received(), "USER a\r\n");
}

TEST(ScriptedServerTest, CloseEndsTheConnectionAfterWhatWasSent) {
  ScriptedServer s({Send("421 bye\r\n"), Close()});
  Socket c(s.host(), s.port());
  EXPECT_EQ(c.ReadLine(), "421 bye\r\n");
  EXPECT_EQ(c.ReadLine(), "<closed>");
  EXPECT_EQ(s.finish(), "");
}

TEST(ScriptedServerTest, NoClientAtAllIsReported) {
  ScriptedServer s({Send("220 hi\r\n")}, {.stepTimeoutMs = 100});
  EXPECT_EQ(s.finish(), "step 1 NextConnection(): no client connected within 100 ms");
}

TEST(ScriptedServerTest, NextConnectionServesTheClientsSecondConnection) {
  ScriptedServer s({Send("220 one\r\n"), NextConnection(), Send("220 two\r\n"), Expect("QUIT"), ExpectClose()});
  {
    Socket first(s.host(), s.port());
    EXPECT_EQ(first.ReadLine(), "220 one\r\n");
  }
  Socket second(s.host(), s.port());
  EXPECT_EQ(second.ReadLine(), "220 two\r\n");
  second.Send("QUIT\r\n");
  second.Close();
  EXPECT_EQ(s.finish(), "");
}

// Connects to the data port named in a PASV reply, however it is written.
int ConnectToPassiveReply(const std::string& reply) {
  std::string numbers = reply.substr(reply.find_last_of(" (") + 1);
  unsigned h[4], p[2];
  if (std::sscanf(numbers.c_str(), "%u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p[0], &p[1]) != 6) return -1;
  std::string host = std::to_string(h[0]) + "." + std::to_string(h[1]) + "." + std::to_string(h[2]) + "." + std::to_string(h[3]);
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa = AddressOf(host, static_cast<int>(p[0] * 256 + p[1]));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

class ScriptedServerPassive : public ::testing::TestWithParam<const char*> {};

TEST_P(ScriptedServerPassive, ReceivesTheUploadOnTheAnnouncedPort) {
  ScriptedServer s({Expect("PASV"), Passive(GetParam()), Expect("STOR f"), Send("150 go\r\n"), ReceiveData(),
                    Send("226 done\r\n"), ExpectClose()});
  Socket c(s.host(), s.port());
  c.Send("PASV\r\n");
  std::string reply = c.ReadLine();
  ASSERT_THAT(reply, HasSubstr("127,0,0,1,"));
  Socket data(ConnectToPassiveReply(reply));
  ASSERT_GE(data.fd(), 0) << reply;
  c.Send("STOR f\r\n");
  EXPECT_EQ(c.ReadLine(), "150 go\r\n");
  std::string payload(100000, 'x');
  payload[77] = '\0';
  data.Send(payload);
  data.Close();
  EXPECT_EQ(c.ReadLine(), "226 done\r\n");
  c.Close();
  EXPECT_EQ(s.finish(), "");
  EXPECT_EQ(s.data(), std::vector<std::string>{payload});
}

INSTANTIATE_TEST_SUITE_P(Replies, ScriptedServerPassive,
                         ::testing::Values("227 Entering Passive Mode ({}).\r\n", "227 Data port is {}\r\n"));

TEST(ScriptedServerTest, ConnectsBackToThePortAnnouncedInActiveMode) {
  ScriptedServer s({ExpectPort(), Send("200 ok\r\n"), Expect("STOR f"), Send("150 go\r\n"), ConnectBack(),
                    ReceiveData(), Send("226 done\r\n")});
  Socket c(s.host(), s.port());
  int port = 0;
  Socket listener(::socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in sa = AddressOf("127.0.0.1", 0);
  socklen_t len = sizeof sa;
  ASSERT_EQ(::bind(listener.fd(), reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  ASSERT_EQ(::listen(listener.fd(), 1), 0);
  ::getsockname(listener.fd(), reinterpret_cast<sockaddr*>(&sa), &len);
  port = ntohs(sa.sin_port);
  c.Send("PORT 127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256) + "\r\n");
  EXPECT_EQ(c.ReadLine(), "200 ok\r\n");
  c.Send("STOR f\r\n");
  EXPECT_EQ(c.ReadLine(), "150 go\r\n");
  pollfd p{listener.fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 2000), 1);
  Socket data(::accept(listener.fd(), nullptr, nullptr));
  data.Send("picture");
  data.Close();
  EXPECT_EQ(c.ReadLine(), "226 done\r\n");
  EXPECT_EQ(s.finish(), "");
  EXPECT_EQ(s.data(), std::vector<std::string>{"picture"});
}

}  // namespace
}  // namespace korv
