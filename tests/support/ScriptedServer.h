// A loopback server that plays a script, for wire-exact tests of network
// clients. It listens as soon as it is built, accepts one control
// connection and runs the steps in order on its own thread:
//
//   ScriptedServer s({Send("220 ready\r\n"), Expect("USER anonymous"),
//                     Send("230 in\r\n"), Expect("QUIT"), ExpectClose()});
//   client.Connect(s.host(), s.port()); ...
//   EXPECT_EQ(s.finish(), "");
//
// Every wait is bounded by the step time-out (5 s by default), so a silent
// or hung client fails the script instead of hanging the test. The first
// step that does not go as written ends the script (all connections are
// closed) and finish() reports it as text: the step, what was expected and
// what arrived. When the script ends, all connections are closed too; end
// it with ExpectClose() to check that the client hangs up.
//
// FTP data connections: Passive() answers PASV with a listening port on the
// server's own address; ExpectPort() reads the client's PORT line and
// ConnectBack() connects to the address it announced; ReceiveData() takes
// everything the client sends on the data connection until the client
// closes it. To test a client's bounded wait in active mode, just leave
// out ConnectBack().
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korv::test {

struct Step {
  enum class Kind {
    Send, Expect, ExpectClose, Close, Stall, Pause, NextConnection,
    Passive, ExpectPort, ConnectBack, ReceiveData, CloseData
  };
  Kind kind;
  std::string text;
  int milliseconds = 0;
};

// Sends `bytes` on the control connection as they are (write the CR LF).
Step Send(std::string bytes);
// Reads one line from the control connection: it must be exactly `line`
// followed by CR LF.
Step Expect(std::string line);
// Waits until the client closes the control connection, which it must do
// without sending anything more.
Step ExpectClose();
// Closes the control connection (what the client sent so far is kept).
Step Close();
// Holds the control connection without answering until finish() is called
// (at most two minutes); whatever the client sends meanwhile is recorded.
Step Stall();
// Waits `milliseconds` before the next step.
Step Pause(int milliseconds);
// Closes the control connection and waits for the client's next one.
Step NextConnection();

// Opens a data listener on the server's address and sends `reply`, in which
// "{}" is replaced by the six numbers h1,h2,h3,h4,p1,p2 of that listener,
// "{port}" by p1,p2 alone.
Step Passive(std::string reply = "227 Entering Passive Mode ({}).\r\n");
// Reads one line that must be "PORT h1,h2,h3,h4,p1,p2" naming the address
// the client's control connection comes from, and remembers the address.
Step ExpectPort();
// Connects a data connection to the address of the last PORT line.
Step ConnectBack();
// Accepts the client's data connection when it is not open yet (after
// Passive()), then receives until the client closes it; what arrived is
// added to data().
Step ReceiveData();
// Closes the data connection (and a passive listener) from the server side.
Step CloseData();

class ScriptedServer {
public:
  struct Options {
    std::string address = "127.0.0.1";  // any 127.x.y.z; the port is chosen by the system
    int stepTimeoutMs = 5000;
  };

  explicit ScriptedServer(std::vector<Step> script) : ScriptedServer(std::move(script), Options()) {}
  ScriptedServer(std::vector<Step> script, Options options);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  const std::string& host() const { return Address; }
  int port() const { return Port; }

  // Ends a Stall(), waits until the script has run out and returns the
  // first mismatch, or "" when every step went as written. Repeatable.
  std::string finish();

  // Every byte received on the control connections, in order.
  std::string received() const;
  // What each ReceiveData() step received, in order.
  std::vector<std::string> data() const;

private:
  void Run();
  bool RunStep(const Step& step);
  bool Fail(const Step& step, const std::string& what);
  bool AcceptControl(const Step& step);
  bool ReadLine(const Step& step, std::string& line);
  int Receive(int fd, std::string& into, int timeoutMs);
  void CloseControl();
  void CloseDataConnection();

  std::vector<Step> Script;
  Options Opts;
  std::string Address;
  int Port = 0;
  int ListenFd = -1;
  int ControlFd = -1;
  int DataListenFd = -1;
  int DataFd = -1;
  int WakeFds[2] = {-1, -1};
  sockaddr_in PortAddress{};
  bool HavePortAddress = false;
  std::string Pending;  // control bytes read but not consumed by a step
  size_t StepIndex = 0;

  mutable std::mutex Lock;
  std::string Mismatch;
  std::string Received;
  std::vector<std::string> Data;

  std::atomic<bool> StopRequested{false};
  std::thread Worker;
};

}  // namespace korv::test
