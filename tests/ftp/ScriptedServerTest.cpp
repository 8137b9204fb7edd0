// The scripted server against a plain POSIX client, so that its own faults
// don't show up as faults of the FTP client tested with it.
#include "tests/support/ScriptedServer.h"

#include "tests/support/LoopbackClient.h"

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

TEST(ScriptedServerTest, ConversationAsWrittenPassesAndRecordsTheClientBytes) {
  ScriptedServer s({Send("220 ready\r\n"), Expect("USER anonymous"), Send("331 pass\r\n"), Expect("PASS x"),
                    Send("230 in\r\n"), ExpectClose()});
  LoopbackClient c(s.host(), s.port());
  EXPECT_EQ(c.readLine(), "220 ready\r\n");
  c.send("USER anonymous\r\n");
  EXPECT_EQ(c.readLine(), "331 pass\r\n");
  c.send("PASS x\r\n");
  EXPECT_EQ(c.readLine(), "230 in\r\n");
  c.close();
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

TEST(ScriptedServerTest, ReportsTheFirstStepThatWentWrong) {
  const MismatchCase cases[] = {
      {"otherLine", {Expect("USER a"), Expect("PASS b")}, "USER b\r\nPASS b\r\n",
       "step 1 Expect(\"USER a\"): got \"USER b\\r\\n\""},
      {"bareLineFeed", {Expect("USER a")}, "USER a\n", "step 1 Expect(\"USER a\"): got \"USER a\\n\""},
      {"closedEarly", {Expect("USER a")}, "USE", "step 1 Expect(\"USER a\"): the client closed after \"USE\""},
      {"silent", {Send("220 hi\r\n"), Expect("QUIT")}, "", "step 2 Expect(\"QUIT\"): no line within 300 ms, got \"\"",
       false},
      {"bytesBeforeClose", {Expect("QUIT"), ExpectClose()}, "QUIT\r\nMORE\r\n",
       "step 2 ExpectClose(): got \"MORE\\r\\n\" before the close"},
      {"badPort", {ExpectPort()}, "PORT 127,0,0,1,4\r\n", "step 1 ExpectPort(): got \"PORT 127,0,0,1,4\\r\\n\""},
      {"portPadded", {ExpectPort()}, "PORT 127,0,0,01,4,1\r\n",
       "step 1 ExpectPort(): got \"PORT 127,0,0,01,4,1\\r\\n\""},
      {"portForeignAddress", {ExpectPort()}, "PORT 10,0,0,5,4,1\r\n",
       "step 1 ExpectPort(): got \"PORT 10,0,0,5,4,1\\r\\n\", an address other than the client's own 127.0.0.1"},
      {"connectBackWithoutPort", {ConnectBack()}, "", "step 1 ConnectBack(): no PORT line was received before"},
  };
  for (const MismatchCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer s(c.script, {.stepTimeoutMs = 300});
    LoopbackClient client(s.host(), s.port());
    if (!c.clientSends.empty()) client.send(c.clientSends);
    if (c.clientCloses) client.close();
    EXPECT_EQ(s.finish(), c.mismatch);
  }
}

TEST(ScriptedServerTest, MismatchClosesTheConnectionSoTheClientDoesNotWait) {
  ScriptedServer s({Expect("USER a"), Send("331 never\r\n")});
  LoopbackClient c(s.host(), s.port());
  c.send("USER b\r\n");
  EXPECT_EQ(c.readLine(), "<closed>");
  EXPECT_THAT(s.finish(), HasSubstr("got \"USER b\\r\\n\""));
}

TEST(ScriptedServerTest, StallAnswersNothingUntilFinished) {
  ScriptedServer s({Send("220 hi\r\n"), Stall()});
  LoopbackClient c(s.host(), s.port());
  EXPECT_EQ(c.readLine(), "220 hi\r\n");
  c.send("USER a\r\n");
  EXPECT_EQ(c.readLine(200), "");
  EXPECT_EQ(s.finish(), "");
  EXPECT_EQ(c.readLine(), "<closed>");
  EXPECT_EQ(s.received(), "USER a\r\n");
}

TEST(ScriptedServerTest, CloseEndsTheConnectionAfterWhatWasSent) {
  ScriptedServer s({Send("421 bye\r\n"), Close()});
  LoopbackClient c(s.host(), s.port());
  EXPECT_EQ(c.readLine(), "421 bye\r\n");
  EXPECT_EQ(c.readLine(), "<closed>");
  EXPECT_EQ(s.finish(), "");
}

TEST(ScriptedServerTest, NoClientAtAllIsReported) {
  ScriptedServer s({Send("220 hi\r\n")}, {.stepTimeoutMs = 100});
  EXPECT_EQ(s.finish(), "step 1 NextConnection(): no client connected within 100 ms");
}

TEST(ScriptedServerTest, NextConnectionServesTheClientsSecondConnection) {
  ScriptedServer s({Send("220 one\r\n"), NextConnection(), Send("220 two\r\n"), Expect("QUIT"), ExpectClose()});
  {
    LoopbackClient first(s.host(), s.port());
    EXPECT_EQ(first.readLine(), "220 one\r\n");
  }
  LoopbackClient second(s.host(), s.port());
  EXPECT_EQ(second.readLine(), "220 two\r\n");
  second.send("QUIT\r\n");
  second.close();
  EXPECT_EQ(s.finish(), "");
}

// The host and port named in a PASV reply, however it is written.
std::pair<std::string, int> PassiveAddress(const std::string& reply) {
  std::string numbers = reply.substr(reply.find_last_of(" (") + 1);
  unsigned h[4] = {}, p[2] = {};
  std::sscanf(numbers.c_str(), "%u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p[0], &p[1]);
  return {std::to_string(h[0]) + "." + std::to_string(h[1]) + "." + std::to_string(h[2]) + "." + std::to_string(h[3]),
          static_cast<int>(p[0] * 256 + p[1])};
}

TEST(ScriptedServerTest, ReceivesTheUploadOnThePortOfEveryPassiveReplyForm) {
  for (const char* form : {"227 Entering Passive Mode ({}).\r\n", "227 Data port is {}\r\n"}) {
    SCOPED_TRACE(form);
    ScriptedServer s({Expect("PASV"), Passive(form), Expect("STOR f"), Send("150 go\r\n"), ReceiveData(),
                      Send("226 done\r\n"), ExpectClose()});
    LoopbackClient c(s.host(), s.port());
    c.send("PASV\r\n");
    std::string reply = c.readLine();
    ASSERT_THAT(reply, HasSubstr("127,0,0,1,"));
    auto [dataHost, dataPort] = PassiveAddress(reply);
    LoopbackClient data(dataHost, dataPort);
    ASSERT_TRUE(data.connected()) << reply;
    c.send("STOR f\r\n");
    EXPECT_EQ(c.readLine(), "150 go\r\n");
    std::string payload(100000, 'x');
    payload[77] = '\0';
    EXPECT_TRUE(data.send(payload));
    data.close();
    EXPECT_EQ(c.readLine(), "226 done\r\n");
    c.close();
    EXPECT_EQ(s.finish(), "");
    EXPECT_EQ(s.data(), std::vector<std::string>{payload});
  }
}

TEST(ScriptedServerTest, ConnectsBackToThePortAnnouncedInActiveMode) {
  ScriptedServer s({ExpectPort(), Send("200 ok\r\n"), Expect("STOR f"), Send("150 go\r\n"), ConnectBack(),
                    ReceiveData(), Send("226 done\r\n")});
  LoopbackClient c(s.host(), s.port());
  int port = 0;
  LoopbackClient listener(ListenOn("127.0.0.1", port));
  ASSERT_TRUE(listener.connected());
  c.send("PORT 127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256) + "\r\n");
  EXPECT_EQ(c.readLine(), "200 ok\r\n");
  c.send("STOR f\r\n");
  EXPECT_EQ(c.readLine(), "150 go\r\n");
  pollfd p{listener.fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 2000), 1);
  LoopbackClient data(::accept(listener.fd(), nullptr, nullptr));
  EXPECT_TRUE(data.send("picture"));
  data.close();
  EXPECT_EQ(c.readLine(), "226 done\r\n");
  EXPECT_EQ(s.finish(), "");
  EXPECT_EQ(s.data(), std::vector<std::string>{"picture"});
}

}  // namespace
}  // namespace korv
