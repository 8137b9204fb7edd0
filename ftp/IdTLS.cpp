#include "ftp/IdTLS.h"

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <cstring>

#include "ftp/IdGlobal.h"
#include "ftp/IdStack.h"
#include "runtime/ScopeExit.h"

namespace korv {

namespace {

// The longest the goodbye of a session may take: our close_notify out and
// the peer's back, so that the peer has read everything before the socket
// closes.
constexpr int kGoodbyeTimeoutMs = 5000;

// The reason of the oldest queued OpenSSL error, and the queue emptied.
std::string OpenSslReason(const char* otherwise) {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
  return reason ? reason : otherwise;
}

// Which of the three checks a certificate failed.
const char* FailedCheck(long verify) {
  switch (verify) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return "host name";
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return "validity";
    default:
      return "trust";
  }
}

int64_t Left(TDeadline deadline, int timeoutMs) {
  if (timeoutMs == -2) return -2;
  const int64_t left = MsLeft(deadline);
  return left < 0 ? 0 : left;
}

}  // namespace

TIdTLSContext::TIdTLSContext(const std::string& caFile) : CA(caFile) {
  Context = SSL_CTX_new(TLS_client_method());
  if (!Context) throw EIdTLSError("TLS: " + OpenSslReason("no context"));
  auto freeOnFailure = ScopeExit([this] { SSL_CTX_free(Context); });
  SSL_CTX_set_min_proto_version(Context, TLS1_2_VERSION);
  SSL_CTX_set_verify(Context, SSL_VERIFY_PEER, nullptr);
  // A send takes what the socket takes, record by record; a server's end
  // of the stream without close_notify is an end like any other.
  SSL_CTX_set_mode(Context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  SSL_CTX_set_options(Context, SSL_OP_IGNORE_UNEXPECTED_EOF);
  if (caFile.empty()) {
    SSL_CTX_set_default_verify_paths(Context);
  } else {
    BIO* file = BIO_new_file(caFile.c_str(), "r");
    if (!file) throw EIdTLSError("cannot read the CA file " + caFile + ": " + std::strerror(errno));
    auto closeFile = ScopeExit([file] { BIO_free(file); });
    X509_STORE* store = SSL_CTX_get_cert_store(Context);
    int certificates = 0;
    while (X509* certificate = PEM_read_bio_X509(file, nullptr, nullptr, nullptr)) {
      if (X509_STORE_add_cert(store, certificate) == 1) ++certificates;
      X509_free(certificate);
    }
    ERR_clear_error();  // the end of the file reads as an error
    if (certificates == 0) throw EIdTLSError("the CA file " + caFile + " holds no PEM certificate");
  }
  freeOnFailure.Release();
}

TIdTLSContext::~TIdTLSContext() { SSL_CTX_free(Context); }

TIdTLS::TIdTLS(const TIdTLSContext& context, TSocket socket, const std::string& host, const TIdTLS* resume,
               int timeoutMs)
    : Socket(socket), Host(host) {
  ERR_clear_error();
  Session = SSL_new(context.Handle());
  if (!Session) throw EIdTLSError("TLS: " + OpenSslReason("no session"));
  auto freeOnFailure = ScopeExit([this] { SSL_free(Session); });
  const int flags = ::fcntl(socket, F_GETFL);
  if (flags == -1 || ::fcntl(socket, F_SETFL, flags | O_NONBLOCK) == -1)
    SharedStack().RaiseSocketFailure(WinsockErrorFromErrno(errno));
  SSL_set_fd(Session, socket);
  if (TIdStack::IsDottedQuad(host)) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(Session), host.c_str());
  } else {
    SSL_set_tlsext_host_name(Session, host.c_str());
    SSL_set1_host(Session, host.c_str());
  }
  AwaitGoodbye = resume != nullptr;
  if (resume) {
    if (SSL_SESSION* offered = SSL_get1_session(resume->Session)) {
      SSL_set_session(Session, offered);
      SSL_SESSION_free(offered);
    }
  }
  const TDeadline deadline = DeadlineIn(timeoutMs);
  for (;;) {
    errno = 0;
    const int result = SSL_connect(Session);
    if (result == 1) break;
    if (!Retry(result, static_cast<int>(Left(deadline, timeoutMs)), "handshake"))
      throw EIdTLSError("TLS handshake with " + host + " timed out");
  }
  freeOnFailure.Release();
}

TIdTLS::~TIdTLS() {
  Shutdown();
  SSL_free(Session);
}

bool TIdTLS::Retry(int result, int timeoutMs, const char* doing) {
  const int error = SSL_get_error(Session, result);
  if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
    const int ready = WsWaitFor(Socket, error == SSL_ERROR_WANT_WRITE, timeoutMs);
    if (ready == -1) SharedStack().RaiseSocketFailure(WSAGetLastError());
    return ready == 1;
  }
  Broken = true;
  if (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0 && errno != 0)
    SharedStack().RaiseSocketFailure(WinsockErrorFromErrno(errno));
  if (const long verify = SSL_get_verify_result(Session); verify != X509_V_OK) {
    ERR_clear_error();
    throw EIdTLSError("TLS: the certificate of " + Host + " fails the " + FailedCheck(verify) +
                      " check: " + X509_verify_cert_error_string(verify));
  }
  throw EIdTLSError(std::string("TLS ") + doing + " with " + Host + " failed: " +
                    OpenSslReason("the server closed the connection"));
}

bool TIdTLS::WaitReadable(int timeoutMs) {
  if (Closed || SSL_pending(Session) > 0) return true;
  const TDeadline deadline = DeadlineIn(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    char byte;
    errno = 0;
    const int result = SSL_peek(Session, &byte, 1);
    if (result > 0) return true;
    const int error = SSL_get_error(Session, result);
    // Anything but a wait is for Recv to report.
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) return true;
    if (!Retry(result, static_cast<int>(Left(deadline, timeoutMs)), "read")) {
      Broken = timeoutMs != 0;  // a look whether anything came is no failure
      return false;
    }
  }
}

int TIdTLS::Recv(void* buffer, int length) {
  if (Closed) return 0;
  ERR_clear_error();
  errno = 0;
  const int result = SSL_read(Session, buffer, length);
  if (result > 0) return result;
  switch (SSL_get_error(Session, result)) {
    case SSL_ERROR_ZERO_RETURN:
      Closed = true;
      return 0;
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
      WSASetLastError(WinsockErrorFromErrno(EWOULDBLOCK));
      return -1;
    case SSL_ERROR_SYSCALL:
      Broken = true;
      if (ERR_peek_error() == 0) {
        WSASetLastError(WinsockErrorFromErrno(errno != 0 ? errno : ECONNRESET));
        return -1;
      }
      [[fallthrough]];
    default:
      throw EIdTLSError("TLS read from " + Host + " failed: " + OpenSslReason("broken record"));
  }
}

int TIdTLS::SendWithin(const void* buffer, int length, int timeoutMs) {
  const TDeadline deadline = DeadlineIn(timeoutMs < 0 ? 0 : timeoutMs);
  ERR_clear_error();
  for (;;) {
    errno = 0;
    const int result = SSL_write(Session, buffer, length);
    if (result > 0) return result;
    const int error = SSL_get_error(Session, result);
    if (error == SSL_ERROR_ZERO_RETURN) return 0;
    if (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) {
      Broken = true;
      WSASetLastError(WinsockErrorFromErrno(errno != 0 ? errno : EPIPE));
      return -1;
    }
    if (!Retry(result, static_cast<int>(Left(deadline, timeoutMs)), "write")) {
      Broken = true;
      WSASetLastError(WSAETIMEDOUT);
      return -1;
    }
  }
}

void TIdTLS::Shutdown() {
  if (SaidGoodbye || Broken || SSL_in_init(Session)) return;
  SaidGoodbye = true;
  // Unread bytes at close would make the system reset the connection, and
  // a reset may cost the server the end of what we sent: so on a data
  // connection the peer's goodbye is read before the socket closes.
  const TDeadline deadline = DeadlineIn(kGoodbyeTimeoutMs);
  bool sent = false;
  for (;;) {
    ERR_clear_error();
    int result;
    if (!sent) {
      result = SSL_shutdown(Session);
      if (result == 1 || (result == 0 && !AwaitGoodbye)) break;
      if (result == 0) {
        sent = true;
        continue;
      }
    } else {
      char scratch[4096];
      result = SSL_read(Session, scratch, sizeof scratch);
      if (result > 0) continue;
    }
    const int error = SSL_get_error(Session, result);
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) break;
    if (WsWaitFor(Socket, error == SSL_ERROR_WANT_WRITE, static_cast<int>(Left(deadline, 0))) != 1) break;
  }
  ERR_clear_error();
  Closed = true;
}

}  // namespace korv
