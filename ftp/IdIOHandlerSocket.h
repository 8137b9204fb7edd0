// The I/O handler a connection talks through, and its socket version.
#pragma once

#include <memory>
#include <string>

#include "ftp/IdComponent.h"
#include "ftp/IdSocketHandle.h"
#include "ftp/IdTLS.h"

namespace korv {

// The base does nothing; the socket handler fills the operations in.
class TIdIOHandler : public TIdComponent {
public:
  virtual void Close() {}
  virtual void ConnectTo(const std::string& host, int port, int timeoutMs, int boundPortHigh, int boundPortLow,
                         int boundPort, const std::string& boundIP) {}
  virtual bool Connected() { return false; }
  virtual void Open() {}
  virtual bool WaitReadable(int timeoutMs) { return false; }
  virtual int Recv(void* buffer, int length) { return 0; }
  virtual int Send(const void* buffer, int length) { return 0; }
  // Sends what can go within `timeoutMs` (-2: no limit): at least one byte,
  // or -1 with 10060 when the time runs out.
  virtual int SendWithin(const void* buffer, int length, int timeoutMs) { return 0; }
};

enum TSocksVersion { svNoSocks, svSocks4, svSocks4A, svSocks5 };

// No SOCKS negotiation is ever done; the settings exist for completeness.
struct TIdSocksInfo {
  TSocksVersion Version = svNoSocks;
};

class TIdIOHandlerSocket : public TIdIOHandler {
public:
  ~TIdIOHandlerSocket() override;

  // false switches TCP_NODELAY on before connecting.
  bool UseNagle = true;
  // The bound of a connect that names no time-out of its own, in ms (0: as
  // long as the system tries, which can be minutes).
  int ConnectTimeout = 0;

  TIdSocketHandle* Binding() const { return BindingHandle.get(); }
  TIdSocksInfo& SocksInfo();

  void Close() override;
  // Resolves, binds locally, connects. Time-out -1 or 0: a connect bounded
  // by ConnectTimeout whose failure raises EIdSocketError; otherwise
  // ConnectWithTimeout.
  void ConnectTo(const std::string& host, int port, int timeoutMs, int boundPortHigh, int boundPortLow,
                 int boundPort, const std::string& boundIP) override;
  bool Connected() override;
  void Open() override;
  bool WaitReadable(int timeoutMs) override;
  // Raise EIdClosedSocket when not connected; otherwise raw results.
  int Recv(void* buffer, int length) override;
  int Send(const void* buffer, int length) override;
  int SendWithin(const void* buffer, int length, int timeoutMs) override;

  // From here on every byte of the connection goes through TLS (see
  // TIdTLS); closing says the TLS goodbye first.
  void StartTLS(const TIdTLSContext& context, const std::string& host, const TIdTLS* resume, int timeoutMs);
  const TIdTLS* TLS() const { return Tls.get(); }

  // Connects and gives up after `timeoutMs` (-2: never) with
  // EIdConnectTimeout; a failure raises EIdConnectException with the
  // socket error's message.
  void ConnectWithTimeout(int timeoutMs);

private:
  std::unique_ptr<TIdSocketHandle> BindingHandle;
  std::unique_ptr<TIdSocksInfo> Socks;
  std::unique_ptr<TIdTLS> Tls;
};

}  // namespace korv
