#include "ftp/IdTCPClient.h"

#include "ftp/IdException.h"
#include "runtime/ScopeExit.h"

namespace korv {

void TIdTCPClient::DoOnConnected() {
  if (OnConnected) OnConnected(this);
}

void TIdTCPClient::OpenConnection(int timeoutMs) {
  if (!Handler) {
    Handler = std::make_unique<TIdIOHandlerSocket>();
    // Resolving and connecting are reported by the handler to the same listener.
    Handler->OnStatus = OnStatus;
    OwnsIOHandler = true;
  } else if (Handler->Connected()) {
    throw EIdAlreadyConnected();
  }
  auto closeOnFailure = ScopeExit([this] { CloseSocketOnly(); });
  Handler->ConnectTimeout = ConnectTimeout;
  Handler->Open();
  ResetInput();
  Handler->ConnectTo(Host, Port, timeoutMs, BoundPortHigh, BoundPortLow, BoundPort, BoundIP);
  ReportStatus(hsConnected, Host);
  DoOnConnected();
  closeOnFailure.Release();
}

}  // namespace korv
