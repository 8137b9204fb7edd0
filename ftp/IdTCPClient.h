// A TCP connection that connects out to Host:Port.
#pragma once

#include <string>

#include "ftp/IdTCPConnection.h"

namespace korv {

class TIdTCPClient : public TIdTCPConnection {
public:
  std::string Host;
  int Port = 0;
  // Local end to bind before connecting: address ("" = any), port (0 = any)
  // or a port range tried from high to low.
  std::string BoundIP;
  int BoundPort = 0;
  int BoundPortLow = 0;
  int BoundPortHigh = 0;
  TNotifyEvent OnConnected;

  virtual void DoOnConnected();
  // `timeoutMs` -1: a plain blocking connect. A connected client raises
  // EIdAlreadyConnected; any failure closes the socket and passes on.
  virtual void OpenConnection(int timeoutMs = -1);
};

}  // namespace korv
