#include "ftp/IdSimpleServer.h"

#include <sys/socket.h>

#include <algorithm>
#include <chrono>

#include "ftp/IdException.h"

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
  try {
    binding.BindLocal();
  } catch (...) {
    ListenHandle = Id_INVALID_SOCKET;
    throw;
  }
}

void TIdSimpleServer::PrepareListen() {
  if (!Binding()) {
    ResetInput();
    Handler = std::make_unique<TIdIOHandlerSocket>();
    Handler->Open();
  }
  try {
    if (ListenHandle == Id_INVALID_SOCKET) BindListener();
    Binding()->StartListening(15);
    IsListening = true;
  } catch (...) {
    Handler.reset();
    ListenHandle = Id_INVALID_SOCKET;
    throw;
  }
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
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(AcceptTimeout);
  // Blocks in the readability wait; the slices only let a stop request from
  // another thread be seen.
  constexpr int kSlice = 250;
  bool accepted = false;
  try {
    while (!StopRequested) {
      int wait = kSlice;
      if (AcceptTimeout > 0) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) throw EIdAcceptTimeout();
        wait = static_cast<int>(std::min<int64_t>(left, kSlice));
      }
      if (Binding()->WaitReadable(wait)) {
        accepted = Binding()->AcceptFrom(ListenHandle);
        break;
      }
    }
  } catch (...) {
    CloseListener();
    throw;
  }
  CloseListener();
  return accepted;
}

}  // namespace korv
