#include "ftp/IdSimpleServer.h"

#include <sys/socket.h>

#include <algorithm>

#include "ftp/IdException.h"
#include "ftp/IdGlobal.h"
#include "runtime/ScopeExit.h"

namespace korv {

void TIdSimpleServer::ResetInput() {
  TIdTCPConnection::ResetInput();
  IsListening = false;
  StopRequested = false;
  Handler.reset();
  ListenHandle = Id_INVALID_SOCKET;  // it was the handler's socket
}

void TIdSimpleServer::RequestStop() { StopRequested = true; }

void TIdSimpleServer::BindListener() {
  TIdSocketHandle& binding = *Binding();
  binding.AllocateHandle(SOCK_STREAM);
  ListenHandle = binding.Handle();
  binding.IP = BoundIP;
  binding.Port = BoundPort;
  auto forgetOnFailure = ScopeExit([this] { ListenHandle = Id_INVALID_SOCKET; });
  binding.BindLocal();
  forgetOnFailure.Release();
}

void TIdSimpleServer::PrepareListen() {
  if (!Binding()) {
    ResetInput();
    Handler = std::make_unique<TIdIOHandlerSocket>();
    Handler->Open();
  }
  auto dropOnFailure = ScopeExit([this] {
    Handler.reset();
    ListenHandle = Id_INVALID_SOCKET;
  });
  if (ListenHandle == Id_INVALID_SOCKET) BindListener();
  Binding()->StartListening(15);
  IsListening = true;
  dropOnFailure.Release();
}

void TIdSimpleServer::CloseListener() {
  if (ListenHandle == Id_INVALID_SOCKET) return;
  TIdSocketHandle* binding = Binding();
  // Until a connection is accepted the binding holds the listener itself.
  if (binding && binding->HandleAllocated() && binding->Handle() == ListenHandle)
    binding->CloseHandle();
  else
    WsCloseSocket(ListenHandle);
  ListenHandle = Id_INVALID_SOCKET;
  IsListening = false;
}

bool TIdSimpleServer::WaitAndAccept() {
  if (!IsListening) PrepareListen();
  auto closeListener = ScopeExit([this] { CloseListener(); });
  const TDeadline deadline = DeadlineIn(AcceptTimeout);
  // Blocks in the readability wait; the slices only let a stop request from
  // another thread be seen.
  constexpr int kSlice = 250;
  while (!StopRequested) {
    int wait = kSlice;
    if (AcceptTimeout > 0) {
      const int64_t left = MsLeft(deadline);
      if (left <= 0) throw EIdAcceptTimeout();
      wait = static_cast<int>(std::min<int64_t>(left, kSlice));
    }
    const int ready = WatchedSocket == Id_INVALID_SOCKET ? (Binding()->WaitReadable(wait) ? 1 : 0)
                                                         : Binding()->WaitReadableOr(WatchedSocket, wait);
    if (ready == 1) return Binding()->AcceptFrom(ListenHandle);
    if (ready == 2) return false;
  }
  return false;
}

}  // namespace korv
