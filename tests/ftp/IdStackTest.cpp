// The socket layer: addresses, error texts, binding, connecting, status and
// work reports.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "ftp/IdException.h"
#include "ftp/IdStack.h"
#include "ftp/IdTCPClient.h"
#include "tests/ftp/Raised.h"
#include "tests/support/ScriptedServer.h"

namespace korv {
namespace {

using namespace korv::test;

// Keeps the shared stack alive for tests that use it without a client.
class StackTest : public ::testing::Test {
protected:
  TIdComponent Keeper;
  TIdStack& Stack = SharedStack();
};

// A loopback port that nobody listens on, held by a bound socket.
class ReservedPort {
public:
  ReservedPort() : Fd(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof sa;
    ::bind(Fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    ::getsockname(Fd, reinterpret_cast<sockaddr*>(&sa), &length);
    Port = ntohs(sa.sin_port);
  }
  ~ReservedPort() { ::close(Fd); }
  int Fd;
  int Port;
};

struct StatusLog {
  std::vector<std::pair<TIdStatus, std::string>> Entries;
  TIdStatusEvent Handler() {
    return [this](TIdComponent*, TIdStatus status, const std::string& text) { Entries.emplace_back(status, text); };
  }
  bool Has(TIdStatus status) const {
    for (auto& entry : Entries)
      if (entry.first == status) return true;
    return false;
  }
};

TEST_F(StackTest, DottedQuadsAreFourNumbersUpTo255) {
  const std::pair<const char*, bool> cases[] = {
      {"127.0.0.1", true},  {"0.0.0.0", true},   {"255.255.255.255", true}, {"10.0.0.256", false},
      {"1.2.3", false},     {"1.2.3.4.5", false}, {"a.b.c.d", false},       {"1..2.3", false},
      {"", false},          {"1.2.3.", false},   {"-1.2.3.4", false},       {"localhost", false},
      // As the integer conversion reads the pieces.
      {" 1.2.3.4", true},   {"+1.2.3.4", true},  {"0001.2.3.4", true},      {"1.2.3. 4 ", true},
      {"1.2.3.0x4", false}, {"1.2.3.+", false},
  };
  for (auto [text, expected] : cases) EXPECT_EQ(TIdStack::IsDottedQuad(text), expected) << text;
}

TEST_F(StackTest, ErrorTextsFollowTheTable) {
  const std::pair<int, const char*> cases[] = {
      {11001, "Socket Error # 11001\r\nHost not found."},
      {10035, "Socket Error # 10035\r\nOperation would block. "},
      {10066, "Socket Error # 10066\r\nDirectory not empty"},
      {10061, "Socket Error # 10061\r\nConnection refused."},
      {10093, "Socket Error # 10093\r\n"},
      {12345, "Socket Error # 12345\r\n"},
  };
  for (auto [code, text] : cases) EXPECT_EQ(TIdStack::SocketErrorText(code), text);
}

TEST_F(StackTest, ErrnoValuesMapOntoWindowsSocketsNumbers) {
  const std::pair<int, int> cases[] = {
      {ECONNREFUSED, 10061}, {ETIMEDOUT, 10060}, {EADDRINUSE, 10048}, {ECONNRESET, 10054}, {ECONNABORTED, 10053},
      {EPIPE, 10058},        {ESHUTDOWN, 10058}, {EBADF, 10038},      {ENOTSOCK, 10038},   {EINTR, 10004},
      {EHOSTUNREACH, 10065}, {ENETUNREACH, 10051},
  };
  for (auto [error, code] : cases) EXPECT_EQ(WinsockErrorFromErrno(error), code) << error;
}

TEST_F(StackTest, CheckSocketResultRaisesOrIgnores) {
  EXPECT_FALSE(Stack.CheckSocketResult(0));
  WSASetLastError(10054);
  EXPECT_TRUE(Stack.CheckSocketResult(-1, {10053, 10054}));
  EXPECT_EQ(Stack.LastError(), 10054);
  if (auto e = Raised<EIdSocketError>([&] { Stack.CheckSocketResult(-1); })) {
    EXPECT_EQ(e->LastError, 10054);
    EXPECT_STREQ(e->what(), "Socket Error # 10054\r\nConnection reset by peer.");
  }
}

TEST_F(StackTest, AddressTextAndBytes) {
  EXPECT_EQ(TIdStack::AddressToString(TIdStack::StringToAddress("192.168.1.20")), "192.168.1.20");
  EXPECT_EQ(ntohl(TIdStack::StringToAddress("1.2.3.4").s_addr), 0x01020304u);
  EXPECT_THROW(TIdStack::StringToAddress("1.2.x.4"), EConvertError);
  EXPECT_THROW(TIdStack::StringToAddress("1.2.300.4"), EConvertError);
}

TEST_F(StackTest, LocalhostAndDottedQuadsNeedNoLookUp) {
  EXPECT_EQ(Stack.ResolveHostName("LOCALHOST"), "127.0.0.1");
  EXPECT_EQ(Stack.ResolveHostName("LocalHost"), "127.0.0.1");
  EXPECT_EQ(Stack.ResolveHostName("127.0.0.9"), "127.0.0.9");
}

TEST_F(StackTest, PortZeroBindsToASystemPort) {
  TIdSocketHandle handle;
  handle.AllocateHandle(SOCK_STREAM);
  handle.IP = "127.0.0.1";
  handle.BindLocal();
  EXPECT_GT(handle.Port, 0);
  EXPECT_EQ(handle.IP, "127.0.0.1");
}

TEST_F(StackTest, BindFailuresHaveTheirOwnExceptions) {
  ReservedPort taken;
  TIdSocketHandle handle;
  handle.AllocateHandle(SOCK_STREAM);
  handle.IP = "127.0.0.1";

  handle.ClientPortMin = 5000;
  handle.ClientPortMax = 4000;
  if (auto e = Raised<EIdInvalidPortRange>([&] { handle.BindLocal(); })) {
    EXPECT_STREQ(e->what(), "Invalid Port Range (5000 - 4000)");
  }

  handle.ClientPortMin = handle.ClientPortMax = taken.Port;
  if (auto e = Raised<EIdCanNotBindPortInRange>([&] { handle.BindLocal(); })) {
    EXPECT_EQ(e->what(), "Can not bind in port range (" + std::to_string(taken.Port) + " - " +
                            std::to_string(taken.Port) + ")");
  }

  handle.ClientPortMin = handle.ClientPortMax = 0;
  handle.Port = taken.Port;
  if (auto e = Raised<EIdCouldNotBindSocket>([&] { handle.BindLocal(); })) {
    EXPECT_STREQ(e->what(), "Could not bind socket. Address and port are already in use.");
  }
}

TEST_F(StackTest, PortRangeIsTriedFromTheTop) {
  ReservedPort taken;
  TIdSocketHandle handle;
  handle.AllocateHandle(SOCK_STREAM);
  handle.IP = "127.0.0.1";
  handle.ClientPortMin = taken.Port - 1;
  handle.ClientPortMax = taken.Port;
  handle.BindLocal();
  EXPECT_EQ(handle.Port, taken.Port - 1);
}

// The fixed messages and where each class sits in the tree.
TEST(IdException, ClassesCarryTheirMessages) {
  auto check = [](const EIdException& e, const char* message, bool isBase) {
    EXPECT_STREQ(e.what(), message);
    EXPECT_TRUE(isBase) << message;
  };
  check(EIdConnClosedGracefully(), "Connection Closed Gracefully.",
        std::is_base_of_v<EIdSilentException, EIdConnClosedGracefully>);
  check(EIdInvalidSocket(), "Cannot allocate socket.", true);
  check(EIdClosedSocket(), "Disconnected.", true);
  check(EIdConnectTimeout(), "Connect timed out.", true);
  check(EIdStackSetSizeExceeded(), "Set Size Exceeded.", std::is_base_of_v<EIdStackError, EIdStackSetSizeExceeded>);
  check(EIdStackInitializationFailed(), "Winsock Initialization Error.",
        std::is_base_of_v<EIdStackError, EIdStackInitializationFailed>);
  check(EIdCouldNotBindSocket(), "Could not bind socket. Address and port are already in use.",
        std::is_base_of_v<EIdSocketHandleError, EIdCouldNotBindSocket>);
  check(EIdCanNotBindPortInRange(1, 2), "Can not bind in port range (1 - 2)",
        std::is_base_of_v<EIdSocketHandleError, EIdCanNotBindPortInRange>);
  check(EIdInvalidPortRange(5000, 4000), "Invalid Port Range (5000 - 4000)",
        std::is_base_of_v<EIdSocketHandleError, EIdInvalidPortRange>);
  check(EIdAlreadyConnected(), "Already connected.", true);
  check(EIdReadTimeout(), "Read Timeout", true);
  check(EIdReadLnMaxLineLengthExceeded(), "Max line length exceeded.", true);
  check(EIdNotConnected(), "Not Connected", std::is_base_of_v<EIdTCPConnectionError, EIdNotConnected>);
  check(EIdNotEnoughDataInBuffer(), "Not enough data in buffer.",
        std::is_base_of_v<EIdTCPConnectionError, EIdNotEnoughDataInBuffer>);
  check(EIdNoDataToRead(), "No data to read.", std::is_base_of_v<EIdTCPConnectionError, EIdNoDataToRead>);
  check(EIdWS2StubError("Error on call Winsock2 library function send", 0, "ignored"),
        "Error on call Winsock2 library function send", true);
  check(EIdWS2StubError("Error on loading Winsock2 library (WS2_32.DLL)", 126, "The module was not found."),
        "Error on loading Winsock2 library (WS2_32.DLL): The module was not found.", true);
  EXPECT_TRUE((std::is_base_of_v<Exception, EIdException>));
}

TEST(IdComponent, WorkEventsCarryRunningTotalsAndNestOnlyOutside) {
  TIdComponent component;
  std::vector<std::string> events;
  component.OnWorkBegin = [&](TIdComponent*, TWorkMode mode, int64_t max) {
    events.push_back("begin " + std::to_string(mode) + " " + std::to_string(max));
  };
  component.OnWork = [&](TIdComponent*, TWorkMode, int64_t count) { events.push_back(std::to_string(count)); };
  component.OnWorkEnd = [&](TIdComponent*, TWorkMode mode) { events.push_back("end " + std::to_string(mode)); };

  component.AddWork(wmWrite, 5);  // no open counter: nothing
  component.StartWork(wmWrite, 100);
  component.StartWork(wmWrite, 7);
  component.AddWork(wmWrite, 40);
  component.FinishWork(wmWrite);
  component.AddWork(wmWrite, 60);
  component.AddWork(wmRead, 3);  // the read counter is not open
  component.FinishWork(wmWrite);
  EXPECT_EQ(events, (std::vector<std::string>{"begin 1 100", "40", "100", "end 1"}));
}

TEST(IdComponent, StatusTextsAreFormatted) {
  TIdComponent component;
  component.ReportStatus(hsConnected, "host");  // no handler: nothing happens
  StatusLog log;
  component.OnStatus = log.Handler();
  component.ReportStatus(hsResolving, "example.org");
  component.ReportStatus(hsConnected, "example.org");
  component.ReportStatus(ftpReady, "Transfer complete");
  component.ReportStatus(hsDisconnecting);
  using Entry = std::pair<TIdStatus, std::string>;
  EXPECT_EQ(log.Entries, (std::vector<Entry>{{hsResolving, "Resolving hostname example.org."},
                                              {hsConnected, "Connected."},
                                              {ftpReady, "Transfer complete"},
                                              {hsDisconnecting, "Disconnecting."}}));
}

TEST(IdTCPClient, LocalhostConnectsWithoutResolving) {
  for (const char* host : {"LOCALHOST", "localhost"}) {
    ScriptedServer server({Send("220 hi\r\n")});
    TIdTCPClient client;
    StatusLog log;
    client.OnStatus = log.Handler();
    client.Host = host;
    client.Port = server.port();
    client.OpenConnection();
    EXPECT_FALSE(log.Has(hsResolving));
    using Entry = std::pair<TIdStatus, std::string>;
    EXPECT_EQ(log.Entries, (std::vector<Entry>{{hsConnecting, "Connecting to 127.0.0.1."}, {hsConnected, "Connected."}}));
    EXPECT_EQ(client.IOHandler()->Binding()->RemotePort, server.port());
    EXPECT_EQ(client.IOHandler()->Binding()->IP, "127.0.0.1");
    EXPECT_GT(client.IOHandler()->Binding()->Port, 0);
    EXPECT_EQ(server.finish(), "");
  }
}

TEST(IdTCPClient, UnknownHostIsNotFound) {
  TIdTCPClient client;
  StatusLog log;
  client.OnStatus = log.Handler();
  client.Host = "no-such-host.invalid";
  client.Port = 21;
  if (auto e = Raised<EIdSocketError>([&] { client.OpenConnection(); })) {
    EXPECT_EQ(e->LastError, 11001);
    EXPECT_STREQ(e->what(), "Socket Error # 11001\r\nHost not found.");
  }
  EXPECT_TRUE(log.Has(hsResolving));
  EXPECT_FALSE(client.IsConnected());
}

TEST(IdTCPClient, RefusedConnectionsGive10061WithOrWithoutTimeOut) {
  ReservedPort nobody;
  TIdTCPClient client;
  client.Host = "127.0.0.1";
  client.Port = nobody.Port;
  if (auto e = Raised<EIdSocketError>([&] { client.OpenConnection(); })) {
    EXPECT_EQ(e->LastError, 10061);
    EXPECT_STREQ(e->what(), "Socket Error # 10061\r\nConnection refused.");
  }
  EXPECT_FALSE(client.IsConnected());
  if (auto e = Raised<EIdConnectException>([&] { client.OpenConnection(2000); })) {
    EXPECT_STREQ(e->what(), "Socket Error # 10061\r\nConnection refused.");
  }
}

TEST(IdTCPClient, ConnectWithTimeOutSucceedsEarly) {
  ScriptedServer server({Expect("HI")});
  TIdTCPClient client;
  client.Host = server.host();
  client.Port = server.port();
  client.OpenConnection(10000);
  client.WriteLine("HI");
  EXPECT_EQ(server.finish(), "");
}

TEST(IdTCPClient, ConnectGivesUpWhenTheTimeOutRunsOut) {
  // A listener whose accept queue is full drops further connection requests,
  // so the next connect stays pending.
  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof sa;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &length);
  std::vector<int> fillers;
  for (int i = 0; i < 2; ++i) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    fillers.push_back(fd);
  }
  usleep(50000);

  TIdTCPClient client;
  client.Host = "127.0.0.1";
  client.Port = ntohs(sa.sin_port);
  EXPECT_THROW(client.OpenConnection(400), EIdConnectTimeout);
  EXPECT_FALSE(client.IsConnected());
  // A connect without a time-out of its own is bounded as well.
  client.ConnectTimeout = 400;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(client.OpenConnection(), EIdConnectTimeout);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_FALSE(client.IsConnected());
  for (int fd : fillers) ::close(fd);
  ::close(listener);
}

TEST(IdTCPClient, OpeningTwiceRaisesAlreadyConnected) {
  ScriptedServer server({Stall()});
  TIdTCPClient client;
  client.Host = server.host();
  client.Port = server.port();
  client.OpenConnection();
  if (auto e = Raised<EIdAlreadyConnected>([&] { client.OpenConnection(); })) {
    EXPECT_STREQ(e->what(), "Already connected.");
  }
  EXPECT_TRUE(client.IsConnected());
  client.CloseConnection();
  EXPECT_FALSE(client.IsConnected());
  server.finish();
}

}  // namespace
}  // namespace korv
