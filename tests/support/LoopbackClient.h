// A plain POSIX TCP client for tests of the test servers themselves (the
// scripted server, the vsftpd harness), so that their faults don't show up
// as faults of the FTP client. Every read is bounded.
#pragma once

#include <string>

namespace korv::test {

class LoopbackClient {
public:
  // Connects to address:port; connected() tells whether it worked.
  LoopbackClient(const std::string& address, int port);
  // Takes over an open socket (for example one accepted from a listener).
  explicit LoopbackClient(int fd) : Fd(fd) {}
  ~LoopbackClient() { close(); }
  LoopbackClient(const LoopbackClient&) = delete;
  LoopbackClient& operator=(const LoopbackClient&) = delete;

  bool connected() const { return Fd >= 0; }
  int fd() const { return Fd; }
  // True when every byte was sent.
  bool send(const std::string& bytes);
  // One line with its LF; "" when no whole line came within the time-out;
  // "<closed>" when the server closed before sending anything more.
  std::string readLine(int timeoutMs = 2000);
  // The reply to `command`: its lines up to the last one "NNN text".
  std::string command(const std::string& command);
  void close();

private:
  int Fd = -1;
};

// A listening socket on address with a system-chosen port (-1 on failure).
int ListenOn(const std::string& address, int& port);

}  // namespace korv::test
