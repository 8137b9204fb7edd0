// A listener for exactly one incoming connection, which then becomes the
// connection itself: the data connection of an active-mode transfer.
#pragma once

#include <atomic>
#include <string>

#include "ftp/IdTCPConnection.h"

namespace korv {

class TIdSimpleServer : public TIdTCPConnection {
public:
  // Where to listen: address ("" = any) and port (0 = chosen by the system).
  std::string BoundIP;
  int BoundPort = 0;
  // The longest wait for the incoming connection, in ms; 0 waits without limit.
  int AcceptTimeout = 60000;
  // A socket watched during that wait (the control connection of the
  // transfer): when it becomes readable first, the wait ends at once without
  // a connection, since the peer answered instead of connecting.
  TSocket WatchedSocket = Id_INVALID_SOCKET;

  TSocket ListenSocket() const { return ListenHandle; }
  bool Listening() const { return IsListening; }
  TIdSocketHandle* Binding() const { return Handler ? Handler->Binding() : nullptr; }

  // Also stops listening and frees the I/O handler.
  void ResetInput() override;
  // Asks a running WaitAndAccept to give up (from any thread).
  virtual void RequestStop();
  // Binds and listens with a backlog of 15.
  virtual void PrepareListen();
  // Waits until the connection comes, then accepts it; the listener is
  // closed afterwards in every case. Raises EIdAcceptTimeout when
  // AcceptTimeout runs out; false when stopped, when the watched socket
  // became readable or the accept was cut short.
  virtual bool WaitAndAccept();

protected:
  virtual void BindListener();

private:
  void CloseListener();

  TSocket ListenHandle = Id_INVALID_SOCKET;
  bool IsListening = false;
  std::atomic<bool> StopRequested{false};
};

}  // namespace korv
