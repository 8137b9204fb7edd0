// The FTP client (RFC 959): the control dialogue (greeting, login with the
// proxy variants, transfer type, system query, directory, sign-off) and the
// upload of a stream over a passive or active data connection. It sees only
// whole numbered replies of its control connection.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "ftp/IdSimpleServer.h"
#include "ftp/IdTCPClient.h"
#include "ftp/IdTLS.h"

namespace korv {

enum TIdFTPTransferType { ftASCII, ftBinary };

enum TIdFtpProxyType {
  fpcmNone,
  fpcmUserSite,
  fpcmSite,
  fpcmOpen,
  fpcmUserPass,
  fpcmTransparent,
  fpcmHttpProxyWithFtp
};

struct TIdFtpProxySettings {
  TIdFtpProxyType ProxyType = fpcmNone;
  std::string Host;
  std::string UserName;
  std::string Password;
  int Port = 0;
};

class TIdFTP : public TIdTCPClient {
public:
  TIdFTP();
  ~TIdFTP() override;

  std::string Username;
  std::string Password;
  bool Passive = false;
  TIdFtpProxySettings ProxySettings;
  TNotifyEvent OnAfterClientLogin;
  // Active mode: the longest wait for the server's data connection, in ms
  // (0 waits without limit).
  int AcceptTimeout = 60000;
  // The longest the data of one store may take to send, in ms (0: no limit).
  int TransferTimeout = 600000;
  // Explicit FTP over TLS (RFC 4217): AUTH TLS before the login, PBSZ 0 and
  // PROT P after it, and every data connection over TLS, resuming the
  // control connection's session. Never falls back to clear text: a server
  // that refuses fails the connect.
  bool UseTLS = false;
  // The certificates trusted instead of the system's CA store ("" : that store).
  std::string TLSCAFile;
  // The longest one TLS handshake may take, in ms.
  int TLSTimeout = 30000;
  // The address the last PASV reply named when it was not the server's own
  // (the data went to the server all the same); "" otherwise. Cleared by
  // ConnectServer.
  std::string IgnoredPassiveAddress;
  // ms; how long the reply that may explain a failed passive data connect
  // is waited for, also when ReadTimeout waits without limit.
  int DataRefusalTimeout = 10000;

  TIdRFCReply LoginReply;
  std::string SystemDescription;

  TIdFTPTransferType TransferType() const { return Type; }
  // Sends TYPE at once when connected; ignored when unchanged or while a
  // transfer runs.
  void SetTransferType(TIdFTPTransferType type);
  // The data connection of the running transfer, else null.
  TIdTCPConnection* DataConnection() const { return Data.get(); }

  // Connects (to the proxy, if one is set), reads the 220 greeting and, with
  // `login`, logs in and sends TYPE and SYST. Any failure closes the
  // connection and passes on.
  void ConnectServer(bool login = true, int timeoutMs = -1);
  void SendLogin();
  void SendTypeCommand();
  void ChangeDirectory(const std::string& directory);
  // RNFR `from` (accepting 350), then RNTO `to` (accepting 250).
  void Rename(const std::string& from, const std::string& to);
  // DELE `name` (accepting 250).
  void Delete(const std::string& name);
  // MKD `path` (accepting 257).
  void MakeDirectory(const std::string& path);
  // Renames `from` over the file `to`. A server that refuses to rename over
  // a file (a 5xx reply to RNTO) gets `to` deleted and is asked again, so
  // that `to` is briefly missing but never half written.
  void RenameOver(const std::string& from, const std::string& to);
  // QUIT without waiting for its reply, then close.
  void SignOff();
  // ABOR, then the data connection's socket is closed; the running upload
  // reads the replies that follow.
  virtual void AbortTransfer();
  virtual void DropDataChannel();

  // Stores the local file as `remoteName` (appends with `append`; an empty
  // name lets the server choose one).
  void UploadFile(const std::string& localPath, const std::string& remoteName, bool append = false);
  void StoreStream(TStream& stream, const std::string& remoteName, bool append = false);

protected:
  void TransferOut(const std::string& command, TStream& stream);
  // The server's data address and port from its PASV reply.
  std::pair<std::string, int> RequestPassive();
  void AnnouncePort(const TIdSocketHandle& binding);
  void PrepareDataChannel();

private:
  void SendUser(const std::string& user, const std::string& password);
  void SendOverDataConnection(const std::string& command, TStream& stream);
  void SendData(TIdTCPConnection& connection, TStream& stream, bool fromStart);
  void StartTLS();
  // The data connection's TLS, when the data is protected.
  void ProtectData(TIdTCPConnection& connection);

  TIdFTPTransferType Type = ftBinary;
  std::unique_ptr<TIdTCPConnection> Data;
  bool DataDropped = false;
  std::unique_ptr<TIdTLSContext> TlsContext;
  std::string TlsHost;  // the name the certificates must bear
  bool DataProtected = false;
};

}  // namespace korv
