#include "tests/support/LoopbackClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korv::test {
namespace {

sockaddr_in AddressOf(const std::string& address, int port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  return sa;
}

}  // namespace

LoopbackClient::LoopbackClient(const std::string& address, int port) : Fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  sockaddr_in sa = AddressOf(address, port);
  if (Fd >= 0 && ::connect(Fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) close();
}

void LoopbackClient::close() {
  if (Fd >= 0) ::close(Fd);
  Fd = -1;
}

bool LoopbackClient::send(const std::string& bytes) {
  return Fd >= 0 && ::send(Fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::string LoopbackClient::readLine(int timeoutMs) {
  std::string line;
  char c;
  while (line.empty() || line.back() != '\n') {
    pollfd p{Fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1) return "";
    if (::recv(Fd, &c, 1, 0) != 1) return line.empty() ? "<closed>" : "";
    line += c;
  }
  return line;
}

std::string LoopbackClient::command(const std::string& command) {
  if (!send(command + "\r\n")) return "<not sent>";
  std::string reply, line;
  do {
    line = readLine();
    reply += line;
  } while (line.size() > 3 && line[3] == '-');
  return reply;
}

int ListenOn(const std::string& address, int& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa = AddressOf(address, 0);
  socklen_t len = sizeof sa;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, 4) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  port = ntohs(sa.sin_port);
  return fd;
}

}  // namespace korv::test
