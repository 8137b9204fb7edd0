// One socket with its local and remote address.
#pragma once

#include <string>

#include "ftp/IdWinSock2.h"

namespace korv {

class TIdSocketHandle {
public:
  TIdSocketHandle() = default;
  ~TIdSocketHandle() { CloseHandle(); }
  TIdSocketHandle(const TIdSocketHandle&) = delete;
  TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

  // Local address ("" = any) and port (0 = any), the remote end, and a local
  // port range tried when binding (0 in either end: no range).
  std::string IP;
  int Port = 0;
  std::string RemoteIP;
  int RemotePort = 0;
  int ClientPortMin = 0;
  int ClientPortMax = 0;

  TSocket Handle() const { return SocketHandle; }
  bool HandleAllocated() const { return Allocated; }

  // Forgets the socket (without closing it) and the remote end; with
  // `resetLocal` the local address too.
  void Reset(bool resetLocal = true);
  // Closes any open socket and opens a new one; the addresses stay.
  void AllocateHandle(int type, int protocol = 0);
  // Shuts the sending side down, which tells the peer that nothing more
  // comes, then closes. Failures of either call are of no interest here.
  void CloseHandle();
  // Binds to IP:Port, or to the highest free port of the range.
  void BindLocal();
  // Connects to RemoteIP:RemotePort and refreshes both ends from the
  // socket. Returns the raw result (-1 on failure, unchecked). A time-out
  // other than -2 (no limit) fails the connect with 10060 when it runs out.
  int ConnectPeer(int timeoutMs = -2);
  // Whether the socket becomes readable within `timeoutMs` (-2: no limit).
  // Raises EIdConnClosedGracefully when the socket is not open.
  bool WaitReadable(int timeoutMs);
  // Waits until this socket or `other` is readable: 1 when this one is, 2
  // when only the other is, 0 when neither is within `timeoutMs`.
  int WaitReadableOr(TSocket other, int timeoutMs);
  void StartListening(int backlog);
  // Accepts one connection from `listener` into this handle. Interrupted or
  // closed listeners give false; other failures raise.
  bool AcceptFrom(TSocket listener);
  // Raw results: bytes, 0 for an orderly close by the peer, -1 on error.
  int Receive(void* buffer, int length);
  int Send(const void* buffer, int length);
  void SetSockOpt(int level, int name, int value);

  void UpdateBindingLocal();
  void UpdateBindingPeer();

private:
  bool TryBind(int port);

  TSocket SocketHandle = Id_INVALID_SOCKET;
  bool Allocated = false;
};

}  // namespace korv
