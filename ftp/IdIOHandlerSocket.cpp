#include "ftp/IdIOHandlerSocket.h"

#include <netinet/tcp.h>
#include <sys/socket.h>

#include "ftp/IdException.h"
#include "ftp/IdStack.h"

namespace korv {

TIdIOHandlerSocket::~TIdIOHandlerSocket() = default;

TIdSocksInfo& TIdIOHandlerSocket::SocksInfo() {
  if (!Socks) Socks = std::make_unique<TIdSocksInfo>();
  return *Socks;
}

void TIdIOHandlerSocket::Close() {
  if (BindingHandle) BindingHandle->CloseHandle();
}

void TIdIOHandlerSocket::ConnectTo(const std::string& host, int port, int timeoutMs, int boundPortHigh,
                                   int boundPortLow, int boundPort, const std::string& boundIP) {
  TIdSocketHandle& binding = *BindingHandle;
  binding.AllocateHandle(SOCK_STREAM);
  binding.IP = boundIP;
  binding.Port = boundPort;
  binding.ClientPortMin = boundPortLow;
  binding.ClientPortMax = boundPortHigh;
  binding.BindLocal();
  // Only a real look-up is reported.
  if (!TIdStack::IsDottedQuad(host) && !TIdStack::IsLocalHostName(host)) ReportStatus(hsResolving, host);
  binding.RemoteIP = SharedStack().ResolveHostName(host);
  binding.RemotePort = port;
  if (!UseNagle) binding.SetSockOpt(IPPROTO_TCP, TCP_NODELAY, 1);
  ReportStatus(hsConnecting, binding.RemoteIP);
  if (timeoutMs != -1 && timeoutMs != 0) {
    ConnectWithTimeout(timeoutMs);
    return;
  }
  TIdStack& stack = SharedStack();
  if (stack.CheckSocketResult(binding.ConnectPeer(ConnectTimeout > 0 ? ConnectTimeout : -2), {WSAETIMEDOUT})) {
    Close();
    throw EIdConnectTimeout();
  }
}

void TIdIOHandlerSocket::ConnectWithTimeout(int timeoutMs) {
  if (BindingHandle->ConnectPeer(timeoutMs) == 0) return;
  const int code = WSAGetLastError();
  Close();
  if (code == WSAETIMEDOUT) throw EIdConnectTimeout();
  throw EIdConnectException(TIdStack::SocketErrorText(code));
}

bool TIdIOHandlerSocket::Connected() { return BindingHandle && BindingHandle->HandleAllocated(); }

void TIdIOHandlerSocket::Open() {
  if (BindingHandle) {
    BindingHandle->CloseHandle();
    BindingHandle->Reset();
  }
  else
    BindingHandle = std::make_unique<TIdSocketHandle>();
}

bool TIdIOHandlerSocket::WaitReadable(int timeoutMs) {
  if (!BindingHandle) throw EIdConnClosedGracefully();
  return BindingHandle->WaitReadable(timeoutMs);
}

int TIdIOHandlerSocket::Recv(void* buffer, int length) {
  if (!Connected()) throw EIdClosedSocket();
  return BindingHandle->Receive(buffer, length);
}

int TIdIOHandlerSocket::Send(const void* buffer, int length) {
  if (!Connected()) throw EIdClosedSocket();
  return BindingHandle->Send(buffer, length);
}

}  // namespace korv
