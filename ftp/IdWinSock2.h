// The socket library: thin POSIX calls that report failures the way Windows
// Sockets does, as a per-thread last error with the Windows Sockets numbers,
// so that ignore lists, error codes and texts are the same on every platform.
//
// The sockets are linked directly, so there is no library to load or start
// and no entry that could be missing: the load and stub failures of a
// run-time bound socket library have no occasion to arise here.
#pragma once

#include <netinet/in.h>

#include <string>
#include <vector>

namespace korv {

using TSocket = int;
constexpr TSocket Id_INVALID_SOCKET = -1;
constexpr int Id_SOCKET_ERROR = -1;

// Windows Sockets error numbers with a role of their own.
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;

// The Windows Sockets number for an errno value; a value without a
// counterpart is passed on unchanged.
int WinsockErrorFromErrno(int error);

// The error of the last failed call below on this thread.
int WSAGetLastError();
void WSASetLastError(int error);

// Each returns -1 (or Id_INVALID_SOCKET) on failure and sets the last error.
// Sockets are created close-on-exec; sends never raise SIGPIPE.
TSocket WsSocket(int type, int protocol);
int WsBind(TSocket s, const sockaddr_in& address);
int WsListen(TSocket s, int backlog);
TSocket WsAccept(TSocket s, sockaddr_in* peer);
// `timeoutMs` -2 blocks until the system gives up; any other value bounds
// the wait, after which the connect fails with 10060.
int WsConnect(TSocket s, const sockaddr_in& address, int timeoutMs = -2);
int WsSend(TSocket s, const void* buffer, int length);
// Sends what the socket takes within `timeoutMs` (-2: a plain blocking
// send): at least one byte, or -1 with 10060 once the time runs out.
int WsSendWithin(TSocket s, const void* buffer, int length, int timeoutMs);
// Waits until `s` is readable (`write` false) or writable: 1, 0 on
// time-out, -1 on error. `timeoutMs` -2 waits without limit.
int WsWaitFor(TSocket s, bool write, int timeoutMs);
int WsRecv(TSocket s, void* buffer, int length);
int WsShutdown(TSocket s, int how);
int WsCloseSocket(TSocket s);
int WsGetSockName(TSocket s, sockaddr_in& address);
int WsGetPeerName(TSocket s, sockaddr_in& address);
int WsSetSockOpt(TSocket s, int level, int name, const void* value, int length);
// Waits until one of `sockets` is readable: the number of readable sockets,
// 0 on time-out, -1 on error. `timeoutMs` -2 waits without limit. As a select
// does with its set, `sockets` is left holding only the readable ones.
int WsSelectRead(std::vector<TSocket>& sockets, int timeoutMs);
// IPv4 host look-up: the first address of the answer. A failed look-up sets
// 11001 (host not found) or the error of the system call that failed.
int WsGetHostByName(const std::string& host, in_addr& address);

}  // namespace korv
