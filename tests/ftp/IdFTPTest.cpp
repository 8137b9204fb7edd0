// The FTP client against the scripted server: each case is a transcript of
// what the server sends and what the client must send, byte for byte.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "ftp/IdException.h"
#include "ftp/IdFTP.h"
#include "tests/ftp/Raised.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

namespace korv {
namespace {

using namespace korv::test;

using Entry = std::pair<TIdStatus, std::string>;

std::vector<Step> operator+(std::vector<Step> a, const std::vector<Step>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::vector<Step> Greeting = {Send("220 Service ready\r\n")};
const std::vector<Step> UserPass = {Expect("USER user"), Send("331 Password required\r\n"), Expect("PASS secret"),
                                    Send("230 Logged in\r\n")};
const std::vector<Step> TypeSyst = {Expect("TYPE I"), Send("200 Type set to I\r\n"), Expect("SYST"),
                                    Send("215 UNIX Type: L8\r\n")};
const std::vector<Step> Login = Greeting + UserPass + TypeSyst;
const std::vector<Step> Quit = {Expect("QUIT"), ExpectClose()};

// A client that exposes the data-connection steps and logs what it reports.
class Client : public TIdFTP {
public:
  explicit Client(const ScriptedServer& server) {
    Host = server.host();
    Port = server.port();
    Username = "user";
    Password = "secret";
    ReadTimeout = 5000;  // no test waits for ever
    AcceptTimeout = 5000;
    OnStatus = [this](TIdComponent*, TIdStatus status, const std::string& text) { Statuses.emplace_back(status, text); };
  }
  using TIdFTP::RequestPassive;

  bool Reported(TIdStatus status, const std::string& text) const {
    for (auto& entry : Statuses)
      if (entry == Entry{status, text}) return true;
    return false;
  }

  std::vector<Entry> Statuses;
};

// Ends a session: the client signs off and the server's script has run out
// just as written.
void SignOffAndCheck(TIdFTP& ftp, ScriptedServer& server) {
  ftp.SignOff();
  EXPECT_EQ(server.finish(), "");
}

// What the work events of an upload showed.
struct WorkLog {
  explicit WorkLog(TIdFTP& ftp) {
    ftp.OnWorkBegin = [this, &ftp](TIdComponent* sender, TWorkMode mode, int64_t max) {
      Begins.push_back(max);
      FromDataConnection = sender != &ftp && sender == ftp.DataConnection() && mode == wmWrite;
    };
    ftp.OnWork = [this](TIdComponent*, TWorkMode, int64_t count) { Totals.push_back(count); };
    ftp.OnWorkEnd = [this](TIdComponent*, TWorkMode) { ++Ends; };
  }
  std::vector<int64_t> Begins;
  std::vector<int64_t> Totals;
  int Ends = 0;
  bool FromDataConnection = false;
};

TEST(IdFTP, TheStationsUploadGoesOutByteForByte) {
  TempDir dir;
  std::string picture(70000, '\0');
  for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<char>(i * 7 + i / 251);
  WriteFile(dir.file("000001.jpg"), picture);

  ScriptedServer server(Login + std::vector<Step>{
                                    Expect("CWD public_html"), Send("250 Directory changed\r\n"), ExpectPort(),
                                    Send("200 PORT command successful\r\n"), Expect("STOR koftplive.jpg"),
                                    Send("150 Ok to send data\r\n"), ConnectBack(), ReceiveData(),
                                    Send("226 Transfer complete\r\n")} +
                        Quit);
  Client ftp(server);
  ftp.ConnectServer(true, -1);
  ftp.SetTransferType(ftBinary);
  ftp.ChangeDirectory("public_html");
  ftp.UploadFile(dir.file("000001.jpg"), "koftplive.jpg", false);
  EXPECT_EQ(ftp.DataConnection(), nullptr);
  ftp.SignOff();
  ASSERT_EQ(server.finish(), "");

  ASSERT_EQ(server.data().size(), 1u);
  EXPECT_EQ(server.data()[0], picture);
  const std::string wire = server.received();
  const size_t port = wire.find("PORT ");
  ASSERT_NE(port, std::string::npos);
  const std::string portLine = wire.substr(port, wire.find("\r\n", port) + 2 - port);
  EXPECT_EQ(portLine.rfind("PORT 127,0,0,1,", 0), 0u) << portLine;
  EXPECT_EQ(wire, "USER user\r\nPASS secret\r\nTYPE I\r\nSYST\r\nCWD public_html\r\n" + portLine +
                      "STOR koftplive.jpg\r\nQUIT\r\n");
  EXPECT_EQ(ftp.GreetingReply.NumericCode, 220);
  EXPECT_EQ(ftp.GreetingReply.Text, std::vector<std::string>{"Service ready"});
  EXPECT_EQ(ftp.LoginReply.NumericCode, 230);
  EXPECT_EQ(ftp.SystemDescription, "UNIX Type: L8");
  EXPECT_EQ(ftp.Statuses, (std::vector<Entry>{{hsConnecting, "Connecting to 127.0.0.1."},
                                              {hsConnected, "Connected."},
                                              {ftpReady, "Connection established"},
                                              {ftpTransfer, "Starting FTP transfer"},
                                              {ftpReady, "Transfer complete"},
                                              {hsDisconnecting, "Disconnecting."},
                                              {hsDisconnected, "Disconnected."}}));
}

TEST(IdFTP, PassiveUploadConnectsToTheAnnouncedPort) {
  const std::string content = "passive bytes\r\n\x00\xff end";
  ScriptedServer server(Login + std::vector<Step>{Expect("PASV"), Passive("227 Entering Passive Mode ({}).\r\n"),
                                                  Expect("APPE log.txt"), Send("125 Data connection open\r\n"),
                                                  ReceiveData(), Send("250 Ok\r\n")} +
                        Quit);
  Client ftp(server);
  ftp.Passive = true;
  ftp.ConnectServer();
  TStringStream stream(content);
  ftp.StoreStream(stream, "log.txt", true);
  ftp.SignOff();
  ASSERT_EQ(server.finish(), "");
  EXPECT_EQ(server.data(), std::vector<std::string>{content});
}

TEST(IdFTP, APassiveReplyNamingAnotherHostStillSendsTheDataToTheServer) {
  ScriptedServer server(Login + std::vector<Step>{Expect("PASV"), Passive("227 Entering Passive Mode (127,0,0,99,{port})\r\n"),
                                                  Expect("STOR koftplive.jpg"), Send("150 Ok\r\n"), ReceiveData(),
                                                  Send("226 Done\r\n")} +
                        Quit);
  Client ftp(server);
  ftp.Passive = true;
  ftp.ConnectServer();
  TStringStream stream("picture");
  ftp.StoreStream(stream, "koftplive.jpg");
  ftp.SignOff();
  ASSERT_EQ(server.finish(), "");
  EXPECT_EQ(server.data(), std::vector<std::string>{"picture"});
  EXPECT_EQ(ftp.IgnoredPassiveAddress, "127.0.0.99");
}

TEST(IdFTP, AServerRefusingTLSGetsNoLoginInClear) {
  ScriptedServer server(Greeting + std::vector<Step>{Expect("AUTH TLS"), Send("500 AUTH not understood\r\n"), ExpectClose()});
  Client ftp(server);
  ftp.UseTLS = true;
  auto e = Raised<EIdProtocolReplyError>([&] { ftp.ConnectServer(); });
  EXPECT_EQ(e ? e->ReplyCode : 0, 500);
  EXPECT_EQ(server.finish(), "");
}

struct LoginCase {
  const char* Name;
  TIdFtpProxyType ProxyType;
  std::string ProxyUser;
  std::string ProxyPassword;
  std::vector<Step> Steps;  // after the greeting, up to TYPE
};

TEST(IdFTP, EveryProxyTypeSendsItsLogin) {
  const std::vector<Step> proxyLogin = {Expect("USER puser"), Send("331 Proxy password\r\n"), Expect("PASS ppass"),
                                        Send("230 Proxy ok\r\n")};
  const LoginCase cases[] = {
      {"user@site", fpcmUserSite, "puser", "ppass",
       proxyLogin + std::vector<Step>{Expect("USER user@ftp.example.org"), Send("331 Password\r\n"),
                                      Expect("PASS secret"), Send("230 In\r\n")}},
      {"user@site without proxy user, 230 at once", fpcmUserSite, "", "",
       {Expect("USER user@ftp.example.org"), Send("230 In\r\n")}},
      {"site", fpcmSite, "puser", "ppass",
       proxyLogin + std::vector<Step>{Expect("SITE ftp.example.org"), Send("500 whatever\r\n")} + UserPass},
      {"open", fpcmOpen, "puser", "ppass",
       proxyLogin + std::vector<Step>{Expect("OPEN ftp.example.org"), Send("220 Connected\r\n")} + UserPass},
      {"user@proxyuser@site", fpcmUserPass, "puser", "ppass",
       {Expect("USER user@puser@ftp.example.org"), Send("331 Passwords\r\n"), Expect("PASS secret@ppass"),
        Send("230 In\r\n")}},
      {"user@proxyuser@site without proxy password", fpcmUserPass, "puser", "",
       {Expect("USER user@puser@ftp.example.org"), Send("331 Passwords\r\n"), Expect("PASS secret"),
        Send("230 In\r\n")}},
      {"transparent", fpcmTransparent, "puser", "ppass", proxyLogin + UserPass},
  };
  for (const LoginCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ScriptedServer server(Greeting + c.Steps + TypeSyst + Quit);
    Client ftp(server);
    ftp.Host = "ftp.example.org";
    ftp.Port = 2121;
    ftp.ProxySettings = {c.ProxyType, server.host(), c.ProxyUser, c.ProxyPassword, server.port()};
    ftp.ConnectServer();
    EXPECT_EQ(ftp.Host, "ftp.example.org");
    EXPECT_EQ(ftp.Port, 2121);
    ftp.SignOff();
    EXPECT_EQ(server.finish(), "");
  }
}

struct FailedLoginCase {
  const char* Name;
  std::vector<Step> Steps;
  int Code;
  std::string Message;
};

TEST(IdFTP, ConnectServerFailuresCloseTheConnection) {
  const FailedLoginCase cases[] = {
      {"greeting 120", {Send("120 Ready in 5 minutes\r\n")}, 120, "Ready in 5 minutes\r\n"},
      {"refused password", Greeting + std::vector<Step>{Expect("USER user"), Send("331 Password\r\n"),
                                                        Expect("PASS secret"), Send("530 Login incorrect.\r\n")},
       530, "Login incorrect.\r\n"},
      {"refused type", Greeting + UserPass + std::vector<Step>{Expect("TYPE I"), Send("504 No\r\n")}, 504, "No\r\n"},
      {"SYST 502", Greeting + UserPass + std::vector<Step>{Expect("TYPE I"), Send("200 Ok\r\n"), Expect("SYST"),
                                                          Send("502 Not implemented\r\n")},
       502, "Not implemented\r\n"},
  };
  for (const FailedLoginCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ScriptedServer server(c.Steps + std::vector<Step>{ExpectClose()});
    Client ftp(server);
    if (auto e = Raised<EIdProtocolReplyError>([&] { ftp.ConnectServer(); })) {
      EXPECT_EQ(e->ReplyCode, c.Code);
      EXPECT_EQ(e->what(), c.Message);
    }
    EXPECT_FALSE(ftp.IsConnected());
    EXPECT_TRUE(ftp.Reported(hsDisconnected, "Disconnected."));
    EXPECT_EQ(server.finish(), "");
  }
}

TEST(IdFTP, HttpProxyWithFtpIsNotSupported) {
  ScriptedServer server(Greeting + std::vector<Step>{ExpectClose()});
  Client ftp(server);
  ftp.ProxySettings.ProxyType = fpcmHttpProxyWithFtp;
  if (auto e = Raised<EIdException>([&] { ftp.ConnectServer(); })) {
    EXPECT_STREQ(e->what(), "Command not supported.");
  }
  EXPECT_FALSE(ftp.IsConnected());
  EXPECT_EQ(server.finish(), "");
}

TEST(IdFTP, MultiLineGreetingsOfRealServersLogIn) {
  const std::pair<const char*, std::string> greetings[] = {
      {"padded line with digits", "220-Welcome\r\n 220 is our port number\r\n220 ready\r\n"},
      {"short line", "220-Welcome\r\nHi\r\n220 ready\r\n"},
      {"blank line", "220-Welcome\r\n\r\n220 ready\r\n"},
      {"code alone at the end", "220-Welcome\r\n220\r\n"},
  };
  for (const auto& [name, greeting] : greetings) {
    SCOPED_TRACE(name);
    ScriptedServer server(std::vector<Step>{Send(greeting)} + UserPass + TypeSyst + Quit);
    Client ftp(server);
    ftp.ConnectServer();
    EXPECT_EQ(ftp.GreetingReply.Text.front(), "Welcome");
    EXPECT_EQ(ftp.SystemDescription, "UNIX Type: L8");
    SignOffAndCheck(ftp, server);
  }
}

TEST(IdFTP, GreetingsAndLoginsOfOtherShapes) {
  ScriptedServer server(std::vector<Step>{Send("220-Welcome\r\n220-to the\r\n220 server\r\n"), Expect("USER user"),
                         Send("230 No password needed\r\n"), Expect("TYPE I"), Send("200 Ok\r\n"), Expect("SYST"),
                         Send("500 Unknown command\r\n")} +
                        Quit);
  Client ftp(server);
  ftp.ConnectServer();
  EXPECT_EQ(ftp.GreetingReply.Text, (std::vector<std::string>{"Welcome", "to the", "server"}));
  EXPECT_EQ(ftp.SystemDescription, "Unknown");
  EXPECT_EQ(ftp.LoginReply.NumericCode, 230);
  SignOffAndCheck(ftp, server);
}

TEST(IdFTP, ConnectingWithoutLoginReadsOnlyTheGreeting) {
  ScriptedServer server(Greeting + Quit);
  Client ftp(server);
  ftp.ConnectServer(false);
  EXPECT_FALSE(ftp.Reported(ftpReady, "Connection established"));
  SignOffAndCheck(ftp, server);
}

TEST(IdFTP, ASecondConnectWithoutSignOffFailsAndTheThirdWorks) {
  ScriptedServer server(Login + std::vector<Step>{ExpectClose(), NextConnection()} + Login + Quit);
  Client ftp(server);
  ftp.ConnectServer();
  if (auto e = Raised<EIdAlreadyConnected>([&] { ftp.ConnectServer(); })) {
    EXPECT_STREQ(e->what(), "Already connected.");
  }
  EXPECT_FALSE(ftp.IsConnected());
  ftp.ConnectServer();
  EXPECT_TRUE(ftp.IsConnected());
  SignOffAndCheck(ftp, server);
}

TEST(IdFTP, RefusedDirectoryLeavesTheConnectionOpen) {
  ScriptedServer server(Login + std::vector<Step>{Expect("CWD missing"), Send("550 No such directory\r\n")} + Quit);
  Client ftp(server);
  ftp.ConnectServer();
  if (auto e = Raised<EIdProtocolReplyError>([&] { ftp.ChangeDirectory("missing"); })) {
    EXPECT_EQ(e->ReplyCode, 550);
    EXPECT_STREQ(e->what(), "No such directory\r\n");
  }
  EXPECT_TRUE(ftp.IsConnected());
  SignOffAndCheck(ftp, server);
}

TEST(IdFTP, RenameSendsRnfrThenRnto) {
  ScriptedServer server(Login + std::vector<Step>{Expect("RNFR new.jpg"), Send("350 Ready for RNTO.\r\n"),
                                                  Expect("RNTO koftplive.jpg"), Send("250 Rename successful.\r\n"),
                                                  Expect("RNFR missing.jpg"), Send("550 RNFR command failed.\r\n")} +
                        Quit);
  Client ftp(server);
  ftp.ConnectServer();
  ftp.Rename("new.jpg", "koftplive.jpg");
  // A refused RNFR sends no RNTO.
  if (auto e = Raised<EIdProtocolReplyError>([&] { ftp.Rename("missing.jpg", "koftplive.jpg"); })) {
    EXPECT_EQ(e->ReplyCode, 550);
  }
  SignOffAndCheck(ftp, server);
}

TEST(IdFTP, TransferTypeIsSentOnlyWhenItChanges) {
  ScriptedServer server(Login + std::vector<Step>{Expect("TYPE A"), Send("200 Type set to A\r\n")} + Quit);
  Client ftp(server);
  ftp.SetTransferType(ftBinary);  // not connected, unchanged: nothing
  ftp.ConnectServer();
  ftp.SetTransferType(ftBinary);
  ftp.SetTransferType(ftASCII);
  ftp.SetTransferType(ftASCII);
  EXPECT_EQ(ftp.TransferType(), ftASCII);
  SignOffAndCheck(ftp, server);
}

TEST(IdFTP, SignOffWhenNotConnectedSendsNothingButReports) {
  TIdFTP ftp;
  std::vector<TIdStatus> statuses;
  ftp.OnStatus = [&](TIdComponent*, TIdStatus status, const std::string&) { statuses.push_back(status); };
  ftp.SignOff();
  EXPECT_EQ(statuses, (std::vector<TIdStatus>{hsDisconnecting, hsDisconnected}));
}

// The upload part of a session in active mode, from PORT to the final reply.
std::vector<Step> ActiveStore(const std::string& command, const std::vector<Step>& ending) {
  return std::vector<Step>{ExpectPort(), Send("200 PORT command successful\r\n"), Expect(command),
                           Send("150 Ok to send data\r\n"), ConnectBack(), ReceiveData()} +
         ending;
}

TEST(IdFTP, ProgressOfAHundredThousandBytes) {
  ScriptedServer server(Login + ActiveStore("STOR big.bin", {Send("226 Done\r\n")}) + Quit);
  Client ftp(server);
  WorkLog work(ftp);
  ftp.ConnectServer();
  TStringStream stream(std::string(100000, 'b'));
  ftp.StoreStream(stream, "big.bin");
  ftp.SignOff();
  ASSERT_EQ(server.finish(), "");
  EXPECT_EQ(server.data()[0].size(), 100000u);
  EXPECT_EQ(work.Begins, std::vector<int64_t>{100000});
  EXPECT_TRUE(work.FromDataConnection);
  ASSERT_GE(work.Totals.size(), 4u);
  EXPECT_EQ(work.Totals.back(), 100000);
  int64_t previous = 0;
  for (int64_t total : work.Totals) {
    EXPECT_GT(total, previous);
    EXPECT_LE(total - previous, 32768);
    previous = total;
  }
  EXPECT_EQ(work.Ends, 1);
}

TEST(IdFTP, AnEmptyFileBeginsAndEndsWithoutProgress) {
  ScriptedServer server(Login + ActiveStore("STOU ", {Send("226 Done\r\n")}) + Quit);
  Client ftp(server);
  WorkLog work(ftp);
  ftp.ConnectServer();
  TStringStream empty;
  ftp.StoreStream(empty, "");
  ftp.SignOff();
  ASSERT_EQ(server.finish(), "");
  EXPECT_EQ(server.data(), std::vector<std::string>{""});
  EXPECT_EQ(work.Begins, std::vector<int64_t>{0});
  EXPECT_TRUE(work.Totals.empty());
  EXPECT_EQ(work.Ends, 1);
}

TEST(IdFTP, AStoreTheServerFailsAfterTheDataRaisesItsReply) {
  const std::pair<const char*, std::vector<Step>> endings[] = {
      {"426 alone", {Send("426 Connection closed; transfer aborted.\r\n")}},
      {"426 then 226", {Send("426 Connection closed; transfer aborted.\r\n226 Closing data connection.\r\n")}},
      {"450 alone", {Send("450 Requested file action not taken.\r\n")}},
  };
  for (const auto& [name, ending] : endings) {
    SCOPED_TRACE(name);
    ScriptedServer server(Login + ActiveStore("STOR x", ending) + Quit);
    Client ftp(server);
    ftp.ConnectServer();
    TStringStream stream("some data");
    // Not waiting for a second reply: the time-out would raise instead.
    if (auto e = Raised<EIdProtocolReplyError>([&] { ftp.StoreStream(stream, "x"); })) {
      EXPECT_EQ(e->ReplyCode, std::string(name).substr(0, 3) == "426" ? 426 : 450);
    }
    EXPECT_FALSE(ftp.Reported(ftpAborted, "Transfer aborted"));
    SignOffAndCheck(ftp, server);
  }
}

TEST(IdFTP, AReplyInsteadOfTheDataConnectionEndsTheWaitAtOnce) {
  const std::pair<const char*, std::vector<Step>> answers[] = {
      {"425 later", {Send("150 Ok to send data\r\n"), Pause(100), Send("425 Can't open data connection.\r\n")}},
      {"425 with the 150", {Send("150 Ok to send data\r\n425 Can't open data connection.\r\n")}},
      {"421 and close", {Send("150 Ok to send data\r\n"), Pause(100), Send("421 Timeout.\r\n"), Close()}},
  };
  for (const auto& [name, answer] : answers) {
    SCOPED_TRACE(name);
    ScriptedServer server(Login + std::vector<Step>{ExpectPort(), Send("200 Ok\r\n"), Expect("STOR x")} + answer +
                          std::vector<Step>{Stall()});
    Client ftp(server);
    ftp.AcceptTimeout = 60000;
    ftp.ConnectServer();
    TStringStream stream("data");
    const auto start = std::chrono::steady_clock::now();
    if (auto e = Raised<EIdProtocolReplyError>([&] { ftp.StoreStream(stream, "x"); })) {
      EXPECT_EQ(e->ReplyCode, std::string(name).substr(0, 3) == "425" ? 425 : 421);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(ftp.DataConnection(), nullptr);
    ftp.CloseConnection();
    EXPECT_EQ(server.finish(), "");
  }
}

TEST(IdFTP, APassiveDataPortClosedByARefusalGivesTheServersReply) {
  // Nothing listens on port 1: the connect is refused as if the server had
  // closed its data port on refusing the store.
  const std::vector<Step> start = {Expect("PASV"), Send("227 Entering Passive Mode (127,0,0,1,0,1).\r\n"),
                                   Expect("STOR x")};
  struct Case {
    const char* Name;
    std::string Answer;
    int ReplyCode;    // of the EIdProtocolReplyError expected, or
    int SocketError;  // of the EIdSocketError expected
  } cases[] = {{"the store refused", "550 Permission denied.\r\n", 550, 0},
               {"the store accepted", "150 Ok\r\n", 0, 10061},
               {"no answer, reading without limit", "", 0, 10061}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    ScriptedServer server(Login + start + std::vector<Step>{Send(c.Answer)} + Quit);
    Client ftp(server);
    ftp.Passive = true;
    ftp.ConnectServer();
    ftp.ReadTimeout = 0;
    ftp.DataRefusalTimeout = 1000;
    TStringStream stream("data");
    const auto begun = std::chrono::steady_clock::now();
    try {
      ftp.StoreStream(stream, "x");
      ADD_FAILURE() << "no exception";
    } catch (const EIdProtocolReplyError& e) {
      EXPECT_EQ(e.ReplyCode, c.ReplyCode);
    } catch (const EIdSocketError& e) {
      EXPECT_EQ(e.LastError, c.SocketError);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(4));
    SignOffAndCheck(ftp, server);
  }
}

TEST(IdFTP, AFinalReplyDrippedByteByByteEndsTheUploadWithinTheReplyTimeout) {
  std::vector<Step> drip;
  for (int i = 0; i < 12; ++i) drip.insert(drip.end(), {Send("2"), Pause(100)});
  ScriptedServer server(Login + ActiveStore("STOR x", drip));
  Client ftp(server);
  ftp.ReplyTimeout = 500;
  ftp.ConnectServer();
  TStringStream stream("data");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(ftp.StoreStream(stream, "x"), EIdReplyTimeout);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  ftp.CloseConnection();
  server.finish();
}

TEST(IdFTP, ServerThatStopsReadingFailsTheSendAfterTheWriteTimeout) {
  ScriptedServer server(Login + std::vector<Step>{Expect("PASV"), Passive(), Expect("STOR big"), Send("150 Ok\r\n"),
                                                  Stall()});
  Client ftp(server);
  ftp.Passive = true;
  ftp.WriteTimeout = 200;
  ftp.ConnectServer();
  // Far more than the socket buffers of both ends hold.
  TStringStream stream(std::string(64 << 20, 'a'));
  auto lastByte = std::chrono::steady_clock::now();
  ftp.OnWork = [&](TIdComponent*, TWorkMode, int64_t) { lastByte = std::chrono::steady_clock::now(); };
  if (auto e = Raised<EIdSocketError>([&] { ftp.StoreStream(stream, "big"); })) {
    EXPECT_EQ(e->LastError, 10060);
  }
  // Counted from the last byte the server took, not once per send call.
  EXPECT_LT(std::chrono::steady_clock::now() - lastByte, std::chrono::milliseconds(200 + 500));
  EXPECT_EQ(ftp.DataConnection(), nullptr);
  EXPECT_TRUE(ftp.Reported(ftpReady, "Transfer complete"));
  server.finish();
}

TEST(IdFTP, TheDataOfAStoreIsBoundedAsAWhole) {
  ScriptedServer server(Login + std::vector<Step>{Expect("PASV"), Passive(), Expect("STOR big"), Send("150 Ok\r\n"),
                                                  Stall()});
  Client ftp(server);
  ftp.Passive = true;
  ftp.TransferTimeout = 300;  // and no WriteTimeout
  ftp.ConnectServer();
  TStringStream stream(std::string(64 << 20, 'a'));
  const auto start = std::chrono::steady_clock::now();
  if (auto e = Raised<EIdSocketError>([&] { ftp.StoreStream(stream, "big"); })) {
    EXPECT_EQ(e->LastError, 10060);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  server.finish();
}

TEST(IdFTP, AbortTransferFromTheProgressHandlerEndsQuietly) {
  ScriptedServer server(Login + std::vector<Step>{Expect("PASV"), Passive(), Expect("STOR big"),
                                                  Send("150 Ok\r\n"), ReceiveData(), Expect("ABOR"),
                                                  Send("426 Aborted\r\n226 Abort successful\r\n")} +
                        Quit);
  Client ftp(server);
  ftp.Passive = true;
  ftp.ConnectServer();
  ftp.OnWork = [&](TIdComponent*, TWorkMode, int64_t) {
    ftp.SetTransferType(ftASCII);  // ignored during a transfer
    ftp.AbortTransfer();
  };
  TStringStream stream(std::string(1 << 20, 'a'));
  ftp.StoreStream(stream, "big");
  EXPECT_TRUE(ftp.Reported(ftpAborted, "Transfer aborted"));
  EXPECT_EQ(ftp.TransferType(), ftBinary);
  SignOffAndCheck(ftp, server);
  EXPECT_LT(server.data()[0].size(), 1u << 20);
}

TEST(IdFTP, RefusedPortDestroysTheDataConnection) {
  ScriptedServer server(Login + std::vector<Step>{ExpectPort(), Send("500 Illegal PORT command.\r\n")} + Quit);
  Client ftp(server);
  ftp.ConnectServer();
  TStringStream stream("data");
  if (auto e = Raised<EIdProtocolReplyError>([&] { ftp.StoreStream(stream, "x"); })) {
    EXPECT_EQ(e->ReplyCode, 500);
    EXPECT_STREQ(e->what(), "Illegal PORT command.\r\n");
  }
  EXPECT_EQ(ftp.DataConnection(), nullptr);
  EXPECT_TRUE(ftp.Reported(ftpReady, "Transfer complete"));
  EXPECT_TRUE(ftp.IsConnected());
  SignOffAndCheck(ftp, server);
}

TEST(IdFTP, AServerThatNeverConnectsBackFailsAfterTheBound) {
  ScriptedServer server(Login + std::vector<Step>{ExpectPort(), Send("200 Ok\r\n"), Expect("STOR x"),
                                                  Send("150 Ok to send data\r\n")} +
                        Quit);
  Client ftp(server);
  ftp.AcceptTimeout = 300;
  ftp.ConnectServer();
  TStringStream stream("data");
  if (auto e = Raised<EIdAcceptTimeout>([&] { ftp.StoreStream(stream, "x"); })) {
    EXPECT_STREQ(e->what(), "Accept timed out.");
  }
  EXPECT_EQ(ftp.DataConnection(), nullptr);
  EXPECT_TRUE(ftp.Reported(ftpReady, "Transfer complete"));
  SignOffAndCheck(ftp, server);
}

TEST(IdFTP, AFinalReplyOutsideTheAcceptedOnesRaises) {
  ScriptedServer server(Login + ActiveStore("STOR x", {Send("451 Local error\r\n")}) + Quit);
  Client ftp(server);
  ftp.ConnectServer();
  TStringStream stream("data");
  if (auto e = Raised<EIdProtocolReplyError>([&] { ftp.StoreStream(stream, "x"); })) {
    EXPECT_EQ(e->ReplyCode, 451);
  }
  SignOffAndCheck(ftp, server);
  EXPECT_EQ(server.data(), std::vector<std::string>{"data"});
}

TEST(IdFTP, AMissingLocalFileFailsBeforeAnythingIsSent) {
  TempDir dir;
  ScriptedServer server(Login + Quit);
  Client ftp(server);
  ftp.ConnectServer();
  EXPECT_THROW(ftp.UploadFile(dir.file("missing.jpg"), "koftplive.jpg"), EFOpenError);
  SignOffAndCheck(ftp, server);
}

TEST(IdFTP, PassiveRepliesAreParsedWithAndWithoutParentheses) {
  const std::pair<std::string, std::pair<std::string, int>> good[] = {
      {"227 Entering Passive Mode (127,0,0,1,4,1).\r\n", {"127.0.0.1", 1025}},
      {"227 Entering Passive Mode 10,0,0,5,195,80\r\n", {"10.0.0.5", 50000}},
      {"227 Ok 192,168,1,20,12,6\r\n", {"192.168.1.20", 3078}},
      {"227 =127,0,0,1,4,1\r\n", {"127.0.0.1", 1025}},
      {"227 Entering Passive Mode 127,0,0,1,4,1.\r\n", {"127.0.0.1", 1025}},
      {"227 Passive mode on 2026: (127, 0, 0, 1, 4, 1)\r\n", {"127.0.0.1", 1025}},
      {"227 (0127,000,0,01,004,1)\r\n", {"127.0.0.1", 1025}},
  };
  const std::string bad[] = {"227 Entering Passive Mode (1,2,3,4,5)\r\n", "227 Mode (1,2,3,4,5,300)\r\n",
                             "227 Mode (a,b,c,d,1,2)\r\n",           "227 Mode\r\n",
                             "227 (99999999999,0,0,1,4,1)\r\n",      "227 (1,2,3,4,5,,6)\r\n"};
  std::vector<Step> script = Greeting;
  for (auto& [reply, expected] : good) script = script + std::vector<Step>{Expect("PASV"), Send(reply)};
  for (auto& reply : bad) script = script + std::vector<Step>{Expect("PASV"), Send(reply)};
  ScriptedServer server(script + Quit);
  Client ftp(server);
  ftp.ConnectServer(false);
  for (auto& [reply, expected] : good) EXPECT_EQ(ftp.RequestPassive(), expected) << reply;
  for (auto& reply : bad) EXPECT_THROW(ftp.RequestPassive(), EIdProtocolReplyError) << reply;
  SignOffAndCheck(ftp, server);
}

}  // namespace
}  // namespace korv
