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
  // The longest a connect may take when OpenConnection names no time-out,
  // in ms (0: as long as the system tries, which can be minutes). Running
  // out raises EIdConnectTimeout.
  int ConnectTimeout = 30000;

  virtual void DoOnConnected();
  // `timeoutMs` -1: a connect bounded by ConnectTimeout. A connected client
  // raises EIdAlreadyConnected; any failure closes the socket and passes on.
  virtual void OpenConnection(int timeoutMs = -1);
};

}  // namespace korv
