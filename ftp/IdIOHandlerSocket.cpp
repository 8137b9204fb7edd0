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
  Tls.reset();
  if (BindingHandle) BindingHandle->CloseHandle();
}

void TIdIOHandlerSocket::StartTLS(const TIdTLSContext& context, const std::string& host, const TIdTLS* resume,
                                  int timeoutMs) {
  if (!Connected()) throw EIdClosedSocket();
  // TLS writes whole records; small ones (the handshake, a command) must
  // not wait for the peer's delayed acknowledgement.
  BindingHandle->SetSockOpt(IPPROTO_TCP, TCP_NODELAY, 1);
  Tls = std::make_unique<TIdTLS>(context, BindingHandle->Handle(), host, resume, timeoutMs);
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
  Tls.reset();
  if (BindingHandle) {
    BindingHandle->CloseHandle();
    BindingHandle->Reset();
  }
  else
    BindingHandle = std::make_unique<TIdSocketHandle>();
}

bool TIdIOHandlerSocket::WaitReadable(int timeoutMs) {
  if (!BindingHandle) throw EIdConnClosedGracefully();
  if (Tls && BindingHandle->HandleAllocated()) return Tls->WaitReadable(timeoutMs);
  return BindingHandle->WaitReadable(timeoutMs);
}

int TIdIOHandlerSocket::Recv(void* buffer, int length) {
  if (!Connected()) throw EIdClosedSocket();
  return Tls ? Tls->Recv(buffer, length) : BindingHandle->Receive(buffer, length);
}

int TIdIOHandlerSocket::Send(const void* buffer, int length) {
  if (!Connected()) throw EIdClosedSocket();
  return Tls ? Tls->SendWithin(buffer, length, -2) : BindingHandle->Send(buffer, length);
}

int TIdIOHandlerSocket::SendWithin(const void* buffer, int length, int timeoutMs) {
  if (!Connected()) throw EIdClosedSocket();
  if (Tls) return Tls->SendWithin(buffer, length, timeoutMs);
  return WsSendWithin(BindingHandle->Handle(), buffer, length, timeoutMs);
}

}  // namespace korv
