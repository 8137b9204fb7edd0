#include "ftp/IdSocketHandle.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include "ftp/IdException.h"
#include "ftp/IdStack.h"

namespace korv {

void TIdSocketHandle::Reset(bool resetLocal) {
  SocketHandle = Id_INVALID_SOCKET;
  Allocated = false;
  RemoteIP.clear();
  RemotePort = 0;
  if (resetLocal) {
    IP.clear();
    Port = 0;
  }
}

void TIdSocketHandle::AllocateHandle(int type, int protocol) {
  CloseHandle();
  SocketHandle = SharedStack().NewSocket(type, protocol);
  Allocated = true;
}

void TIdSocketHandle::CloseHandle() {
  if (!Allocated) return;
  Allocated = false;
  WsShutdown(SocketHandle, SHUT_WR);
  WsCloseSocket(SocketHandle);
}

bool TIdSocketHandle::TryBind(int port) {
  if (WsBind(SocketHandle, TIdStack::MakeSockAddr(IP, port)) == 0) return true;
  if (WSAGetLastError() == WSAEADDRINUSE) return false;
  SharedStack().CheckSocketResult(Id_SOCKET_ERROR);
  return false;
}

void TIdSocketHandle::BindLocal() {
  if (Port != 0 || ClientPortMin == 0 || ClientPortMax == 0) {
    if (!TryBind(Port)) throw EIdCouldNotBindSocket();
    UpdateBindingLocal();
    return;
  }
  if (ClientPortMax < ClientPortMin) throw EIdInvalidPortRange(ClientPortMin, ClientPortMax);
  for (int port = ClientPortMax; port >= ClientPortMin; --port) {
    if (TryBind(port)) {
      UpdateBindingLocal();
      return;
    }
  }
  throw EIdCanNotBindPortInRange(ClientPortMin, ClientPortMax);
}

int TIdSocketHandle::ConnectPeer(int timeoutMs) {
  int result = WsConnect(SocketHandle, TIdStack::MakeSockAddr(RemoteIP, RemotePort), timeoutMs);
  if (result == 0) {
    UpdateBindingLocal();
    UpdateBindingPeer();
  }
  return result;
}

bool TIdSocketHandle::WaitReadable(int timeoutMs) {
  if (!Allocated) throw EIdConnClosedGracefully();
  std::vector<TSocket> sockets{SocketHandle};
  return SharedStack().SelectRead(sockets, timeoutMs) == 1;
}

int TIdSocketHandle::WaitReadableOr(TSocket other, int timeoutMs) {
  if (!Allocated) throw EIdConnClosedGracefully();
  std::vector<TSocket> sockets{SocketHandle, other};
  SharedStack().SelectRead(sockets, timeoutMs);
  for (TSocket ready : sockets)
    if (ready == SocketHandle) return 1;
  return sockets.empty() ? 0 : 2;
}

void TIdSocketHandle::StartListening(int backlog) { SharedStack().CheckSocketResult(WsListen(SocketHandle, backlog)); }

bool TIdSocketHandle::AcceptFrom(TSocket listener) {
  Reset();
  TSocket accepted = WsAccept(listener, nullptr);
  if (SharedStack().CheckSocketResult(accepted, {WSAEINTR, WSAENOTSOCK})) return false;
  SocketHandle = accepted;
  Allocated = true;
  UpdateBindingLocal();
  UpdateBindingPeer();
  return true;
}

int TIdSocketHandle::Receive(void* buffer, int length) { return WsRecv(SocketHandle, buffer, length); }

int TIdSocketHandle::Send(const void* buffer, int length) { return WsSend(SocketHandle, buffer, length); }

void TIdSocketHandle::SetSockOpt(int level, int name, int value) {
  SharedStack().CheckSocketResult(WsSetSockOpt(SocketHandle, level, name, &value, sizeof value));
}

void TIdSocketHandle::UpdateBindingLocal() {
  sockaddr_in address{};
  SharedStack().CheckSocketResult(WsGetSockName(SocketHandle, address));
  IP = TIdStack::AddressToString(address.sin_addr);
  Port = ntohs(address.sin_port);
}

void TIdSocketHandle::UpdateBindingPeer() {
  sockaddr_in address{};
  SharedStack().CheckSocketResult(WsGetPeerName(SocketHandle, address));
  RemoteIP = TIdStack::AddressToString(address.sin_addr);
  RemotePort = ntohs(address.sin_port);
}

}  // namespace korv
