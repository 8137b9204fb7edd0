// TLS beneath a TCP connection (OpenSSL 3), the client side only: the station
// is the TLS client on every connection it makes or accepts (RFC 4217). The
// peer's certificate is always checked, against the system's CA store or the
// certificates of one file, and against the name the station asked for;
// nothing turns the check off.
#pragma once

#include <memory>
#include <string>

#include "ftp/IdException.h"
#include "ftp/IdWinSock2.h"

struct ssl_ctx_st;
struct ssl_st;

namespace korv {

// A TLS failure: the handshake, a certificate check, a broken record.
class EIdTLSError : public EIdException {
public:
  using EIdException::EIdException;
};

// What every session of a client shares: the trusted certificates.
class TIdTLSContext {
public:
  // `caFile` empty: the system's CA store; otherwise only the certificates
  // in that PEM file. Raises EIdTLSError when the file can't be read or
  // holds no certificate.
  explicit TIdTLSContext(const std::string& caFile = "");
  ~TIdTLSContext();
  TIdTLSContext(const TIdTLSContext&) = delete;
  TIdTLSContext& operator=(const TIdTLSContext&) = delete;

  const std::string& CAFile() const { return CA; }
  ssl_ctx_st* Handle() const { return Context; }

private:
  std::string CA;
  ssl_ctx_st* Context = nullptr;
};

// One TLS session over a connected socket, which it switches to
// non-blocking: every wait below is a poll with its own bound.
class TIdTLS {
public:
  // Shakes hands within `timeoutMs` and checks the certificate against
  // `host` (a name or a dotted address). With `resume`, offers that
  // session's parameters again (a data connection after its control
  // connection). Raises EIdTLSError, or EIdSocketError for the socket.
  TIdTLS(const TIdTLSContext& context, TSocket socket, const std::string& host, const TIdTLS* resume,
         int timeoutMs);
  ~TIdTLS();
  TIdTLS(const TIdTLS&) = delete;
  TIdTLS& operator=(const TIdTLS&) = delete;

  // True once plain bytes (or the end of the stream) can be read, false
  // when `timeoutMs` (-2: no limit) passed first.
  bool WaitReadable(int timeoutMs);
  // Bytes read, 0 when the peer closed; -1 with the socket's error.
  int Recv(void* buffer, int length);
  // Encrypts and sends what the socket takes within `timeoutMs` (-2: no
  // limit): at least one byte, or -1 with 10060 when the time runs out.
  int SendWithin(const void* buffer, int length, int timeoutMs);
  // Says goodbye (close_notify), unless a wait ran out or the connection
  // failed before. A session that resumed another (a data connection) also
  // reads until the peer's goodbye, at most 5 s, so that the peer has read
  // everything before the socket closes.
  void Shutdown();

private:
  // After an SSL call that returned `result`: waits for what it asked for
  // and answers true to retry, false when the time ran out. Raises for a
  // TLS or socket failure.
  bool Retry(int result, int timeoutMs, const char* doing);

  TSocket Socket;
  std::string Host;
  ssl_st* Session = nullptr;
  bool Closed = false;  // the peer's close_notify arrived
  bool SaidGoodbye = false;
  bool AwaitGoodbye = false;
  // A wait ran out or the connection failed: no goodbye is waited for.
  bool Broken = false;
};

}  // namespace korv
