#include "ftp/IdWinSock2.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "ftp/IdGlobal.h"

namespace korv {

namespace {

thread_local int LastError = 0;

// errno values and their Windows Sockets numbers: the one place where the
// platform's errors meet the numbers the rest of the client works with.
constexpr std::pair<int, int> kErrnoToWinsock[] = {
    {EINTR, 10004},           {EBADF, 10038},          {EACCES, 10013},          {EPERM, 10013},
    {EFAULT, 10014},          {EINVAL, 10022},         {EMFILE, 10024},          {ENFILE, 10024},
    {EWOULDBLOCK, 10035},     {EINPROGRESS, 10036},    {EALREADY, 10037},        {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},       {EPROTOTYPE, 10041},      {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},     {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},     {EADDRNOTAVAIL, 10049},   {ENETDOWN, 10050},
    {ENETUNREACH, 10051},     {ENETRESET, 10052},      {ECONNABORTED, 10053},    {ECONNRESET, 10054},
    {ENOBUFS, 10055},         {ENOMEM, 10055},         {EISCONN, 10056},         {ENOTCONN, 10057},
    {EPIPE, 10058},           {ESHUTDOWN, 10058},      {ETOOMANYREFS, 10059},    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},    {ELOOP, 10062},          {ENAMETOOLONG, 10063},    {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},    {ENOTEMPTY, 10066},
};

int Failed() {
  LastError = WinsockErrorFromErrno(errno);
  return -1;
}

int Checked(int result) { return result == -1 ? Failed() : result; }

}  // namespace

int WinsockErrorFromErrno(int error) {
  for (auto [from, to] : kErrnoToWinsock)
    if (from == error) return to;
  return error;
}

int WSAGetLastError() { return LastError; }
void WSASetLastError(int error) { LastError = error; }

TSocket WsSocket(int type, int protocol) { return Checked(::socket(AF_INET, type | SOCK_CLOEXEC, protocol)); }

int WsBind(TSocket s, const sockaddr_in& address) {
  return Checked(::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address));
}

int WsListen(TSocket s, int backlog) { return Checked(::listen(s, backlog)); }

TSocket WsAccept(TSocket s, sockaddr_in* peer) {
  socklen_t length = sizeof(sockaddr_in);
  return Checked(::accept4(s, reinterpret_cast<sockaddr*>(peer), peer ? &length : nullptr, SOCK_CLOEXEC));
}

int WsConnect(TSocket s, const sockaddr_in& address, int timeoutMs) {
  const sockaddr* to = reinterpret_cast<const sockaddr*>(&address);
  if (timeoutMs == -2) return Checked(::connect(s, to, sizeof address));
  // Without blocking, so that a peer that never answers can't hold us past
  // the time-out; the socket blocks again afterwards.
  const int flags = ::fcntl(s, F_GETFL);
  if (flags == -1 || ::fcntl(s, F_SETFL, flags | O_NONBLOCK) == -1) return Failed();
  int error = ::connect(s, to, sizeof address) == 0 ? 0 : errno;
  if (error == EINPROGRESS || error == EINTR) {
    pollfd fd{s, POLLOUT, 0};
    const TDeadline deadline = DeadlineIn(timeoutMs);
    int ready;
    do {
      const int64_t left = MsLeft(deadline);
      ready = ::poll(&fd, 1, left < 0 ? 0 : static_cast<int>(left));
    } while (ready == -1 && errno == EINTR);
    if (ready == 0) {
      error = ETIMEDOUT;
    } else if (ready == -1) {
      error = errno;
    } else {
      socklen_t length = sizeof error;
      if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) == -1) error = errno;
    }
  }
  ::fcntl(s, F_SETFL, flags);
  if (error == 0) return 0;
  errno = error;
  return Failed();
}

// Blocking Windows Sockets calls are not cut short by signals; neither are these.
int WsSend(TSocket s, const void* buffer, int length) {
  ssize_t sent;
  do sent = ::send(s, buffer, static_cast<size_t>(length), MSG_NOSIGNAL);
  while (sent == -1 && errno == EINTR);
  // The sockets block, so "would block" only means that the send time-out ran out.
  if (sent == -1 && (errno == EAGAIN || errno == EWOULDBLOCK)) errno = ETIMEDOUT;
  return Checked(static_cast<int>(sent));
}

int WsWaitFor(TSocket s, bool write, int timeoutMs) {
  pollfd fd{s, static_cast<short>(write ? POLLOUT : POLLIN), 0};
  const TDeadline deadline = DeadlineIn(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    const int64_t left = MsLeft(deadline);
    int ready = ::poll(&fd, 1, timeoutMs == -2 ? -1 : static_cast<int>(left < 0 ? 0 : left));
    if (ready == -1 && errno == EINTR) continue;
    return ready == -1 ? Failed() : ready;
  }
}

int WsSendWithin(TSocket s, const void* buffer, int length, int timeoutMs) {
  if (timeoutMs == -2) return WsSend(s, buffer, length);
  // Only a full socket buffer is waited for, so the bound counts from the
  // last byte the peer took, whichever call sent it.
  const TDeadline deadline = DeadlineIn(timeoutMs);
  for (;;) {
    ssize_t sent;
    do sent = ::send(s, buffer, static_cast<size_t>(length), MSG_NOSIGNAL | MSG_DONTWAIT);
    while (sent == -1 && errno == EINTR);
    if (sent >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return Checked(static_cast<int>(sent));
    const int64_t left = MsLeft(deadline);
    const int ready = WsWaitFor(s, true, static_cast<int>(left < 0 ? 0 : left));
    if (ready == -1) return -1;
    if (ready == 0) {
      LastError = WSAETIMEDOUT;
      return -1;
    }
  }
}

int WsRecv(TSocket s, void* buffer, int length) {
  ssize_t received;
  do received = ::recv(s, buffer, static_cast<size_t>(length), 0);
  while (received == -1 && errno == EINTR);
  return Checked(static_cast<int>(received));
}

int WsShutdown(TSocket s, int how) { return Checked(::shutdown(s, how)); }
int WsCloseSocket(TSocket s) { return Checked(::close(s)); }

int WsGetSockName(TSocket s, sockaddr_in& address) {
  socklen_t length = sizeof address;
  return Checked(::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length));
}

int WsGetPeerName(TSocket s, sockaddr_in& address) {
  socklen_t length = sizeof address;
  return Checked(::getpeername(s, reinterpret_cast<sockaddr*>(&address), &length));
}

int WsSetSockOpt(TSocket s, int level, int name, const void* value, int length) {
  return Checked(::setsockopt(s, level, name, value, static_cast<socklen_t>(length)));
}

int WsSelectRead(std::vector<TSocket>& sockets, int timeoutMs) {
  std::vector<pollfd> fds;
  for (TSocket s : sockets) fds.push_back({s, POLLIN, 0});
  const TDeadline deadline = DeadlineIn(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    int wait = -1;
    if (timeoutMs != -2) {
      const int64_t left = MsLeft(deadline);
      wait = left < 0 ? 0 : static_cast<int>(left);
    }
    int ready = ::poll(fds.data(), fds.size(), wait);
    if (ready == -1 && errno == EINTR) continue;
    if (ready == -1) return Failed();
    sockets.clear();
    for (const pollfd& fd : fds)
      if (fd.revents != 0) sockets.push_back(fd.fd);
    return ready;
  }
}

int WsGetHostByName(const std::string& host, in_addr& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* answer = nullptr;
  int result = ::getaddrinfo(host.c_str(), nullptr, &hints, &answer);
  if (result != 0) {
    if (result == EAI_SYSTEM) return Failed();
    // Every other failure (unknown name, no IPv4 address, no answer from
    // the name server) means the same to the user: the host is not found.
    LastError = result == EAI_MEMORY ? 10055 : WSAHOST_NOT_FOUND;
    return -1;
  }
  address = reinterpret_cast<const sockaddr_in*>(answer->ai_addr)->sin_addr;
  ::freeaddrinfo(answer);
  return 0;
}

}  // namespace korv
