#include "tests/support/ScriptedServer.h"

#include "tests/support/LoopbackClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace korv::test {

Step Send(std::string bytes) { return {Step::Kind::Send, std::move(bytes)}; }
Step Expect(std::string line) { return {Step::Kind::Expect, std::move(line)}; }
Step ExpectClose() { return {Step::Kind::ExpectClose, ""}; }
Step Close() { return {Step::Kind::Close, ""}; }
Step Stall() { return {Step::Kind::Stall, ""}; }
Step Pause(int milliseconds) { return {Step::Kind::Pause, "", milliseconds}; }
Step NextConnection() { return {Step::Kind::NextConnection, ""}; }
Step Passive(std::string reply) { return {Step::Kind::Passive, std::move(reply)}; }
Step ExpectPort() { return {Step::Kind::ExpectPort, ""}; }
Step ConnectBack() { return {Step::Kind::ConnectBack, ""}; }
Step ReceiveData() { return {Step::Kind::ReceiveData, ""}; }
Step CloseData() { return {Step::Kind::CloseData, ""}; }

namespace {

constexpr int StallLimitMs = 120000;

using SteadyClock = std::chrono::steady_clock;

int MsLeft(SteadyClock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

SteadyClock::time_point DeadlineIn(int ms) { return SteadyClock::now() + std::chrono::milliseconds(ms); }

// Bytes as a C-like literal, shortened, so mismatches stay readable.
std::string Escape(const std::string& bytes) {
  std::string out = "\"";
  size_t shown = 0;
  for (unsigned char c : bytes) {
    if (++shown > 300) {
      out += "...";
      break;
    }
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '"' || c == '\\') out += std::string("\\") + static_cast<char>(c);
    else if (c < 32 || c >= 127) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else out += static_cast<char>(c);
  }
  return out + "\"";
}

std::string Describe(const Step& step) {
  switch (step.kind) {
    case Step::Kind::Send: return "Send(" + Escape(step.text) + ")";
    case Step::Kind::Expect: return "Expect(" + Escape(step.text) + ")";
    case Step::Kind::ExpectClose: return "ExpectClose()";
    case Step::Kind::Close: return "Close()";
    case Step::Kind::Stall: return "Stall()";
    case Step::Kind::Pause: return "Pause(" + std::to_string(step.milliseconds) + ")";
    case Step::Kind::NextConnection: return "NextConnection()";
    case Step::Kind::Passive: return "Passive(" + Escape(step.text) + ")";
    case Step::Kind::ExpectPort: return "ExpectPort()";
    case Step::Kind::ConnectBack: return "ConnectBack()";
    case Step::Kind::ReceiveData: return "ReceiveData()";
    case Step::Kind::CloseData: return "CloseData()";
  }
  return "?";
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// 1 when `fd` has the event, 0 on time-out, -1 when `wakeFd` (if given) woke us.
int WaitFor(int fd, short events, int timeoutMs, int wakeFd = -1) {
  pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
  for (;;) {
    int n = ::poll(fds, wakeFd >= 0 ? 2 : 1, timeoutMs);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;
    if (wakeFd >= 0 && fds[1].revents) return -1;
    return 1;
  }
}

sockaddr_in LoopbackAddress(const std::string& address, int port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1)
    throw std::invalid_argument("ScriptedServer: not an IPv4 address: " + address);
  return sa;
}

int Listen(const std::string& address, int& port) {
  LoopbackAddress(address, 0);  // rejects what is not an address
  int fd = ListenOn(address, port);
  if (fd < 0) throw std::runtime_error("ScriptedServer: cannot listen on " + address + ": " + std::strerror(errno));
  return fd;
}

int AcceptWithin(int listenFd, int timeoutMs) {
  if (WaitFor(listenFd, POLLIN, timeoutMs) != 1) return -1;
  return ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
}

std::string ConnectWithin(const sockaddr_in& to, int timeoutMs, int& fdOut) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return std::strerror(errno);
  int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  int error = rc == 0 ? 0 : errno;
  if (error == EINPROGRESS) {
    if (WaitFor(fd, POLLOUT, timeoutMs) != 1) {
      ::close(fd);
      return "connect timed out";
    }
    socklen_t len = sizeof error;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
  }
  if (error != 0) {
    ::close(fd);
    return std::strerror(error);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  fdOut = fd;
  return "";
}

// "" when all of `bytes` went out within the time-out, else why not.
std::string SendAll(int fd, const std::string& bytes, int timeoutMs) {
  auto deadline = DeadlineIn(timeoutMs);
  size_t sent = 0;
  while (sent < bytes.size()) {
    if (WaitFor(fd, POLLOUT, MsLeft(deadline)) != 1) return "send timed out";
    ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n < 0) return std::string("send failed: ") + std::strerror(errno);
    sent += static_cast<size_t>(n);
  }
  return "";
}

}  // namespace

ScriptedServer::ScriptedServer(std::vector<Step> script, Options options)
    : Script(std::move(script)), Opts(std::move(options)), Address(Opts.address) {
  ListenFd = Listen(Address, Port);
  if (::pipe2(WakeFds, O_CLOEXEC) != 0) {
    CloseFd(ListenFd);
    throw std::runtime_error("ScriptedServer: pipe failed");
  }
  Worker = std::thread([this] { Run(); });
}

ScriptedServer::~ScriptedServer() {
  finish();
  CloseFd(WakeFds[0]);
  CloseFd(WakeFds[1]);
}

std::string ScriptedServer::finish() {
  if (!StopRequested.exchange(true)) {
    char wake = 1;
    [[maybe_unused]] ssize_t ignored = ::write(WakeFds[1], &wake, 1);
  }
  if (Worker.joinable()) Worker.join();
  std::lock_guard guard(Lock);
  return Mismatch;
}

std::string ScriptedServer::received() const {
  std::lock_guard guard(Lock);
  return Received;
}

std::vector<std::string> ScriptedServer::data() const {
  std::lock_guard guard(Lock);
  return Data;
}

void ScriptedServer::Run() {
  static const Step connect{Step::Kind::NextConnection, ""};
  if (AcceptControl(connect)) {
    for (StepIndex = 0; StepIndex < Script.size(); ++StepIndex)
      if (!RunStep(Script[StepIndex])) break;
  }
  CloseDataConnection();
  CloseControl();
  CloseFd(ListenFd);
}

bool ScriptedServer::Fail(const Step& step, const std::string& what) {
  std::lock_guard guard(Lock);
  if (Mismatch.empty())
    Mismatch = "step " + std::to_string(StepIndex + 1) + " " + Describe(step) + ": " + what;
  return false;
}

bool ScriptedServer::AcceptControl(const Step& step) {
  ControlFd = AcceptWithin(ListenFd, Opts.stepTimeoutMs);
  if (ControlFd < 0) return Fail(step, "no client connected within " + std::to_string(Opts.stepTimeoutMs) + " ms");
  Pending.clear();
  return true;
}

// Bytes read (appended to `into`, and to Received for the control
// connection), 0 when the peer closed or reset, -1 on time-out.
int ScriptedServer::Receive(int fd, std::string& into, int timeoutMs) {
  if (WaitFor(fd, POLLIN, timeoutMs) != 1) return -1;
  char buffer[65536];
  ssize_t n;
  do n = ::recv(fd, buffer, sizeof buffer, 0);
  while (n < 0 && errno == EINTR);
  if (n <= 0) return 0;
  into.append(buffer, static_cast<size_t>(n));
  if (fd == ControlFd) {
    std::lock_guard guard(Lock);
    Received.append(buffer, static_cast<size_t>(n));
  }
  return static_cast<int>(n);
}

bool ScriptedServer::ReadLine(const Step& step, std::string& line) {
  auto deadline = DeadlineIn(Opts.stepTimeoutMs);
  size_t end;
  while ((end = Pending.find('\n')) == std::string::npos) {
    int n = ControlFd < 0 ? 0 : Receive(ControlFd, Pending, MsLeft(deadline));
    if (n == 0) return Fail(step, "the client closed after " + Escape(Pending));
    if (n < 0) return Fail(step, "no line within " + std::to_string(Opts.stepTimeoutMs) + " ms, got " + Escape(Pending));
  }
  line = Pending.substr(0, end + 1);
  Pending.erase(0, end + 1);
  return true;
}

void ScriptedServer::CloseControl() {
  if (ControlFd < 0) return;
  // Take in what already arrived so that closing does not reset the connection.
  while (Receive(ControlFd, Pending, 0) > 0) {
  }
  ::shutdown(ControlFd, SHUT_WR);
  CloseFd(ControlFd);
}

void ScriptedServer::CloseDataConnection() {
  CloseFd(DataFd);
  CloseFd(DataListenFd);
}

bool ScriptedServer::RunStep(const Step& step) {
  const int timeout = Opts.stepTimeoutMs;
  switch (step.kind) {
    case Step::Kind::Send: {
      if (ControlFd < 0) return Fail(step, "the control connection is closed");
      std::string why = SendAll(ControlFd, step.text, timeout);
      return why.empty() || Fail(step, why);
    }
    case Step::Kind::Expect: {
      std::string line;
      if (!ReadLine(step, line)) return false;
      return line == step.text + "\r\n" || Fail(step, "got " + Escape(line));
    }
    case Step::Kind::ExpectClose: {
      auto deadline = DeadlineIn(timeout);
      std::string extra = Pending;
      Pending.clear();
      for (;;) {
        int n = ControlFd < 0 ? 0 : Receive(ControlFd, extra, MsLeft(deadline));
        if (n == 0) break;
        if (n < 0) return Fail(step, "the client did not close within " + std::to_string(timeout) + " ms" +
                                        (extra.empty() ? "" : ", got " + Escape(extra)));
      }
      CloseFd(ControlFd);
      return extra.empty() || Fail(step, "got " + Escape(extra) + " before the close");
    }
    case Step::Kind::Close:
      CloseControl();
      return true;
    case Step::Kind::Stall: {
      auto deadline = DeadlineIn(StallLimitMs);
      bool open = ControlFd >= 0;
      while (!StopRequested && MsLeft(deadline) > 0) {
        int fd = open ? ControlFd : WakeFds[0];
        int woke = WaitFor(fd, POLLIN, MsLeft(deadline), WakeFds[0]);
        if (woke != 1) break;
        if (open && Receive(ControlFd, Pending, 0) == 0) open = false;
      }
      return true;
    }
    case Step::Kind::Pause:
      std::this_thread::sleep_for(std::chrono::milliseconds(step.milliseconds));
      return true;
    case Step::Kind::NextConnection:
      CloseControl();
      return AcceptControl(step);
    case Step::Kind::Passive: {
      CloseDataConnection();
      int dataPort = 0;
      DataListenFd = Listen(Address, dataPort);
      std::string numbers = Address;
      for (char& c : numbers)
        if (c == '.') c = ',';
      for (int part : {dataPort / 256, dataPort % 256}) numbers.append(",").append(std::to_string(part));
      std::string reply = step.text;
      if (size_t at = reply.find("{}"); at != std::string::npos) reply.replace(at, 2, numbers);
      if (size_t at = reply.find("{port}"); at != std::string::npos)
        reply.replace(at, 6, std::to_string(dataPort / 256) + "," + std::to_string(dataPort % 256));
      if (ControlFd < 0) return Fail(step, "the control connection is closed");
      std::string why = SendAll(ControlFd, reply, timeout);
      return why.empty() || Fail(step, why);
    }
    case Step::Kind::ExpectPort: {
      std::string line;
      if (!ReadLine(step, line)) return false;
      unsigned h[4] = {}, p[2] = {};
      std::sscanf(line.c_str(), "PORT %u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p[0], &p[1]);
      std::string canonical = "PORT ";
      for (unsigned v : {h[0], h[1], h[2], h[3], p[0]}) canonical += std::to_string(v) + ",";
      canonical += std::to_string(p[1]) + "\r\n";
      bool valid = line == canonical;
      for (unsigned v : {h[0], h[1], h[2], h[3], p[0], p[1]}) valid = valid && v <= 255;
      if (!valid) return Fail(step, "got " + Escape(line));
      std::string announced = std::to_string(h[0]) + "." + std::to_string(h[1]) + "." + std::to_string(h[2]) + "." + std::to_string(h[3]);
      sockaddr_in peer{};
      socklen_t len = sizeof peer;
      char peerText[INET_ADDRSTRLEN] = "?";
      if (::getpeername(ControlFd, reinterpret_cast<sockaddr*>(&peer), &len) == 0)
        ::inet_ntop(AF_INET, &peer.sin_addr, peerText, sizeof peerText);
      if (announced != peerText)
        return Fail(step, "got " + Escape(line) + ", an address other than the client's own " + peerText);
      PortAddress = LoopbackAddress(announced, static_cast<int>(p[0] * 256 + p[1]));
      HavePortAddress = true;
      return true;
    }
    case Step::Kind::ConnectBack: {
      if (!HavePortAddress) return Fail(step, "no PORT line was received before");
      CloseDataConnection();
      std::string why = ConnectWithin(PortAddress, timeout, DataFd);
      return why.empty() || Fail(step, "cannot connect to the announced port: " + why);
    }
    case Step::Kind::ReceiveData: {
      if (DataFd < 0 && DataListenFd >= 0) DataFd = AcceptWithin(DataListenFd, timeout);
      if (DataFd < 0) return Fail(step, "no data connection");
      std::string bytes;
      int n;
      while ((n = Receive(DataFd, bytes, timeout)) > 0) {
      }
      {
        std::lock_guard guard(Lock);
        Data.push_back(bytes);
      }
      CloseDataConnection();
      if (n < 0) return Fail(step, "the client did not close the data connection within " + std::to_string(timeout) +
                                      " ms of silence, after " + std::to_string(bytes.size()) + " bytes");
      return true;
    }
    case Step::Kind::CloseData:
      CloseDataConnection();
      return true;
  }
  return Fail(step, "unknown step");
}

}  // namespace korv::test
