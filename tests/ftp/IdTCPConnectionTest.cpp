// The buffered connection against a scripted peer: line reading, numbered
// replies, streams with progress, and the peer going away.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ftp/IdException.h"
#include "ftp/IdTCPClient.h"
#include "tests/ftp/Raised.h"
#include "tests/support/ScriptedServer.h"

namespace korv {
namespace {

using namespace korv::test;

std::unique_ptr<TIdTCPClient> ConnectTo(ScriptedServer& server) {
  auto client = std::make_unique<TIdTCPClient>();
  client->Host = server.host();
  client->Port = server.port();
  client->ReadTimeout = 5000;  // no test waits for ever
  client->OpenConnection();
  return client;
}

struct ReplyCase {
  const char* Name;
  std::string Wire;
  TReplyCodes Allowed;
  int Code;
  std::vector<std::string> Text;
  std::string Error;  // message of EIdProtocolReplyError, when one is expected
};

TEST(IdTCPConnection, RepliesAreParsedAndChecked) {
  const ReplyCase cases[] = {
      {"multi-line", "220-Welcome\r\n220-second\r\n220 ready\r\n", {}, 220, {"Welcome", "second", "ready"}, ""},
      {"lone LF ends lines too", "250-a\n250 b\n", {250}, 250, {"a", "b"}, ""},
      {"blank lines are skipped", "\r\n  \r\n\r\n220 ok\r\n", {220}, 220, {"ok"}, ""},
      {"no code", "HELLO\r\n", {}, 0, {"O"}, ""},
      {"end marker ignores case", "abc-x\r\nABC y\r\n", {}, 0, {"x", "y"}, ""},
      {"refused code", "550 No such directory\r\n", {200, 250}, 550, {"No such directory"}, "No such directory\r\n"},
      {"refused multi-line", "530-Login\r\n530 incorrect.\r\n", {230}, 530, {"Login", "incorrect."},
       "Login\r\nincorrect.\r\n"},
      {"short line", "220\r\n", {}, 220, {""}, ""},
      // Text lines of a multi-line reply are anything but its code and a blank.
      {"padded line with digits", "220-Welcome\r\n 220 is our port number\r\n220 ready\r\n", {220}, 220,
       {"Welcome", "220 is our port number", "ready"}, ""},
      {"short and blank lines", "220-Welcome\r\nHi\r\n\r\n  \r\n220 ready\r\n", {220}, 220,
       {"Welcome", "Hi", "", "", "ready"}, ""},
      {"other codes and the code with a hyphen inside", "211-Features\r\n211-MDTM\r\n230 x\r\n2110 y\r\n211\r\n", {},
       211, {"Features", "MDTM", "230 x", "2110 y", ""}, ""},
  };
  // Down to one byte per read: the reply must not depend on how it arrives.
  for (int receiveSize : {1, 2, 3, 32768}) {
    for (const ReplyCase& c : cases) {
      SCOPED_TRACE(std::string(c.Name) + ", reads of " + std::to_string(receiveSize));
      ScriptedServer server({Send(c.Wire), Stall()});
      auto client = ConnectTo(server);
      client->RecvBufferSize = receiveSize;
      try {
        EXPECT_EQ(client->ReadReply(c.Allowed), c.Code);
        EXPECT_EQ(c.Error, "");
      } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyCode, c.Code);
        EXPECT_EQ(e.what(), c.Error);
      }
      EXPECT_EQ(client->LastReply.NumericCode, c.Code);
      EXPECT_EQ(client->LastReply.Text, c.Text);
      EXPECT_EQ(client->InBuffer.Size(), 0u);
      server.finish();
    }
  }
}

TEST(IdTCPConnection, ReplyTextCodeKeepsWhatIsNotANumber) {
  ScriptedServer server({Send("HELLO\r\n"), Stall()});
  auto client = ConnectTo(server);
  client->ReadReply();
  EXPECT_EQ(client->LastReply.TextCode(), "HELL");
  server.finish();
}

TEST(IdTCPConnection, AReplyEndsWithinItsTimeoutHoweverTheServerDripsIt) {
  struct Case {
    const char* Name;
    std::string Piece;  // sent again and again, 100 ms apart
  } cases[] = {
      {"a byte at a time", "2"}, {"blank lines before the reply", "\r\n"}, {"endless text lines", "220-x\r\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<Step> script;
    for (int i = 0; i < 12; ++i) script.insert(script.end(), {Send(c.Piece), Pause(100)});
    ScriptedServer server(script);
    auto client = ConnectTo(server);
    client->ReplyTimeout = 500;
    const auto start = std::chrono::steady_clock::now();
    if (auto e = Raised<EIdReplyTimeout>([&] { client->ReadReply(); })) {
      EXPECT_STREQ(e->what(), "Reply timed out.");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    server.finish();
  }
}

TEST(IdTCPConnection, AnEndlessReplyStopsAtItsCapWithFlatMemory) {
  struct Case {
    const char* Name;
    std::string Line;
  } cases[] = {{"lines", "220-more\r\n"}, {"bytes", "220-" + std::string(1000, 'x') + "\r\n"},
               {"blank lines", "\r\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string flood;
    while (flood.size() < 300000) flood += c.Line;
    ScriptedServer server({Send(flood), Stall()}, {.stepTimeoutMs = 500});
    auto client = ConnectTo(server);
    if (auto e = Raised<EIdReplyTooLong>([&] { client->ReadReply(); })) {
      EXPECT_STREQ(e->what(), "Reply too long (more than 1000 lines or 65536 bytes).");
    }
    // What was read but not taken stays within one receive and one line.
    EXPECT_LE(client->InBuffer.Size(), 32768u + 16384u);
    server.finish();
  }
}

TEST(IdTCPConnection, SendCommandWritesTheLineThenReadsItsReply) {
  ScriptedServer server({Expect("NOOP"), Send("200 fine\r\n"), Expect("CWD x"), Send("550 no\r\n"), Stall()});
  auto client = ConnectTo(server);
  EXPECT_EQ(client->SendCommand("NOOP", 200), 200);
  EXPECT_THROW(client->SendCommand("CWD x", {200, 250}), EIdProtocolReplyError);
  EXPECT_EQ(client->LastReply.NumericCode, 550);
  EXPECT_EQ(server.finish(), "");
}

TEST(IdTCPConnection, MaxLineLengthCountsTheCarriageReturn) {
  const std::string longest(16383, 'x');
  const std::string tooLong(16384, 'y');
  ScriptedServer server({Send(longest + "\r\n" + tooLong + "\r\n"), Stall()});
  auto client = ConnectTo(server);
  EXPECT_EQ(client->ReadTextLine(), longest);
  if (auto e = Raised<EIdReadLnMaxLineLengthExceeded>([&] { client->ReadTextLine(); })) {
    EXPECT_STREQ(e->what(), "Max line length exceeded.");
  }
  server.finish();
}

TEST(IdTCPConnection, SplitModeCutsAnUnterminatedLongLine) {
  const std::string line(20000, 'z');
  ScriptedServer server({Send(line), Expect("MORE"), Send("\r\nnext\r\n"), Stall()});
  auto client = ConnectTo(server);
  client->MaxLineAction = maSplit;
  EXPECT_EQ(client->ReadTextLine(), line.substr(0, 16384));
  EXPECT_TRUE(client->LineWasSplit);
  client->WriteLine("MORE");
  EXPECT_EQ(client->ReadTextLine(), line.substr(16384));
  EXPECT_FALSE(client->LineWasSplit);
  EXPECT_EQ(client->ReadTextLine(), "next");
  EXPECT_EQ(server.finish(), "");
}

TEST(IdTCPConnection, OtherTerminatorsAndLimits) {
  ScriptedServer server({Send("a;b\r;" + std::string(10, 'q') + "\n"), Stall()});
  auto client = ConnectTo(server);
  EXPECT_EQ(client->ReadTextLine(";"), "a");
  EXPECT_EQ(client->ReadTextLine(";"), "b\r");  // CR is dropped only before LF
  EXPECT_EQ(client->ReadTextLine("", 0), std::string(10, 'q'));
  server.finish();
}

TEST(IdTCPConnection, ALineBeforeThePeerClosesCanStillBeRead) {
  ScriptedServer server({Send("221 bye\r\n"), Close()});
  auto client = ConnectTo(server);
  std::vector<TIdStatus> statuses;
  client->OnStatus = [&](TIdComponent*, TIdStatus status, const std::string&) { statuses.push_back(status); };
  int disconnects = 0;
  client->OnDisconnected = [&](TIdComponent*) { ++disconnects; };
  EXPECT_EQ(server.finish(), "");
  EXPECT_EQ(client->ReadTextLine(), "221 bye");
  if (auto e = Raised<EIdConnClosedGracefully>([&] { client->ReadTextLine(); })) {
    EXPECT_STREQ(e->what(), "Connection Closed Gracefully.");
  }
  EXPECT_FALSE(client->IsConnected());
  EXPECT_EQ(statuses, std::vector<TIdStatus>{hsDisconnected});
  EXPECT_EQ(disconnects, 1);
  EXPECT_THROW(client->WriteLine("QUIT"), EIdConnClosedGracefully);
}

TEST(IdTCPConnection, AnUnterminatedLineAtTheCloseTimesOut) {
  ScriptedServer server({Send("partial"), Close()});
  auto client = ConnectTo(server);
  EXPECT_EQ(server.finish(), "");
  EXPECT_EQ(client->ReadTextLine(), "");
  EXPECT_TRUE(client->LineTimedOut);
  EXPECT_THROW(client->ReadTextLine(), EIdConnClosedGracefully);
}

TEST(IdTCPConnection, ReadTimeoutBoundsTheWait) {
  ScriptedServer server({Stall()});
  auto client = ConnectTo(server);
  client->ReadTimeout = 100;
  if (auto e = Raised<EIdReadTimeout>([&] { client->ReadReply(); })) {
    EXPECT_STREQ(e->what(), "Read Timeout");
  }
  EXPECT_EQ(client->FillInputBuffer(true, 50, false), -1);
  server.finish();
}

TEST(IdTCPConnection, NotConnectedRaises) {
  TIdTCPClient client;
  EXPECT_FALSE(client.IsConnected());
  EXPECT_THROW(client.WriteLine("x"), EIdNotConnected);
  EXPECT_THROW(client.FillInputBuffer(), EIdNotConnected);
  EXPECT_EQ(client.FillInputBuffer(false), 0);
}

TEST(IdTCPConnection, SendStreamSendsAllWithProgress) {
  std::string text;
  std::vector<Step> script;
  for (int i = 0; i < 1000; ++i) {
    std::string line = "line " + std::to_string(i) + std::string(80, '.');
    text += line + "\r\n";
    script.push_back(Expect(line));
  }
  ScriptedServer server(script);
  auto client = ConnectTo(server);
  std::vector<int64_t> totals;
  int64_t begun = -1;
  int ended = 0;
  client->OnWorkBegin = [&](TIdComponent*, TWorkMode mode, int64_t max) { begun = mode == wmWrite ? max : -2; };
  client->OnWork = [&](TIdComponent*, TWorkMode, int64_t count) { totals.push_back(count); };
  client->OnWorkEnd = [&](TIdComponent*, TWorkMode) { ++ended; };
  TStringStream stream(text);
  stream.Seek(500);
  client->SendStream(stream, true);
  EXPECT_EQ(server.finish(), "");
  EXPECT_EQ(begun, static_cast<int64_t>(text.size()));
  ASSERT_FALSE(totals.empty());
  EXPECT_EQ(totals.back(), static_cast<int64_t>(text.size()));
  EXPECT_GE(totals.size(), (text.size() + 32767) / 32768);
  EXPECT_EQ(ended, 1);
}

TEST(IdTCPConnection, SendStreamEndsItsWorkWhenTheStreamRunsDry) {
  class ShrunkStream : public TStringStream {
  public:
    using TStringStream::TStringStream;
    int64_t Size() override { return 100; }  // claims more than it has
  };
  ScriptedServer server({Stall()});
  auto client = ConnectTo(server);
  int ended = 0;
  client->OnWorkEnd = [&](TIdComponent*, TWorkMode) { ++ended; };
  ShrunkStream stream("only ten b");
  if (auto e = Raised<EIdNoDataToRead>([&] { client->SendStream(stream); })) {
    EXPECT_STREQ(e->what(), "No data to read.");
  }
  EXPECT_EQ(ended, 1);
  server.finish();
}

TEST(IdBuffer, ExtractBeyondTheContentRaises) {
  TIdBuffer buffer;
  buffer.Append("abc", 3);
  if (auto e = Raised<EIdNotEnoughDataInBuffer>([&] { buffer.Extract(4); })) {
    EXPECT_STREQ(e->what(), "Not enough data in buffer.");
  }
  EXPECT_EQ(buffer.Extract(2), "ab");
  EXPECT_EQ(buffer.View(), "c");
}

// Random byte streams through the reply reader: every outcome is a reply or
// one of the connection's own exceptions, never a crash or a stray read
// (AddressSanitizer watches the reads).
TEST(IdTCPConnection, RandomStreamsEndInRepliesOrKnownErrors) {
  std::mt19937 random(20261208);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const char* pieces[] = {"220", "220-", "-", " ", "\r\n", "\n", "\r", "x", "550 no", "2", "", "\t"};
  for (int round = 0; round < 2000; ++round) {
    std::string wire;
    int parts = pick(30);
    for (int i = 0; i < parts; ++i) {
      if (pick(8) == 0)
        wire += std::string(static_cast<size_t>(pick(300)), static_cast<char>(pick(256)));
      else
        wire += pieces[pick(12)];
    }
    ScriptedServer server({Send(wire), Close()});
    auto client = ConnectTo(server);
    client->MaxLineLength = pick(3) == 0 ? 0 : 1 + pick(200);
    client->MaxLineAction = pick(2) ? maSplit : maException;
    int replies = 0;
    try {
      for (;;) {
        client->ReadReply();
        ASSERT_LE(++replies, static_cast<int>(wire.size()) + 1);
      }
    } catch (const EIdConnClosedGracefully&) {
    } catch (const EIdReadLnMaxLineLengthExceeded&) {
    } catch (const EIdSocketError& e) {
      EXPECT_TRUE(e.LastError == 10053 || e.LastError == 10054 || e.LastError == 10058) << e.LastError;
    }
    server.finish();
  }
}

}  // namespace
}  // namespace korv
