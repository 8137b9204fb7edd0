#include "ftp/IdIOHandlerSocket.h"

#include <netinet/tcp.h>
#include <sys/socket.h>

#include <atomic>
#include <thread>

#include "ftp/IdException.h"
#include "ftp/IdStack.h"
#include "runtime/Clock.h"

namespace korv {

namespace {

// Connects one binding; the waiting side reads the outcome after it stopped.
class TIdConnectThread {
public:
  explicit TIdConnectThread(TIdSocketHandle& binding) : Binding(binding), Worker([this] { Execute(); }) {}
  ~TIdConnectThread() { WaitFor(); }

  void WaitFor() {
    if (Worker.joinable()) Worker.join();
  }
  bool Terminated() const { return Finished; }
  void Terminate() { TerminateRequested = true; }
  const std::string& ExceptionMessage() const { return Message; }
  bool Failed() const { return HasException; }

private:
  void Execute() {
    try {
      // 10009 and 10038 mean the waiting side gave up and closed the socket.
      SharedStack().CheckSocketResult(Binding.ConnectPeer(), {WSAEBADF, WSAENOTSOCK});
    } catch (const std::exception& e) {
      if (!TerminateRequested) {
        Message = e.what();
        HasException = true;
      }
    }
    Finished = true;
  }

  TIdSocketHandle& Binding;
  std::string Message;
  bool HasException = false;
  std::atomic<bool> Finished{false};
  std::atomic<bool> TerminateRequested{false};
  std::thread Worker;  // last: starts once everything above is ready
};

}  // namespace

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
  if (timeoutMs != -1 && timeoutMs != 0)
    ConnectWithTimeout(timeoutMs);
  else
    SharedStack().CheckSocketResult(binding.ConnectPeer());
}

void TIdIOHandlerSocket::ConnectWithTimeout(int timeoutMs) {
  constexpr int kSlice = 125;
  TIdConnectThread thread(*BindingHandle);
  int left = timeoutMs;
  while (left == -2 || left > kSlice) {
    Sleep(kSlice);
    if (left != -2) left -= kSlice;
    if (thread.Terminated()) {
      left = 0;
      break;
    }
  }
  if (left > 0) Sleep(static_cast<uint32_t>(left));
  if (!thread.Terminated()) {
    thread.Terminate();
    // Shutting a connecting socket down wakes the blocked connect; the
    // socket is closed only after the thread let go of it, so its number
    // cannot be reused under the thread's feet.
    WsShutdown(BindingHandle->Handle(), SHUT_RDWR);
    thread.WaitFor();
    Close();
    throw EIdConnectTimeout();
  }
  thread.WaitFor();
  if (thread.Failed()) throw EIdConnectException(thread.ExceptionMessage());
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
