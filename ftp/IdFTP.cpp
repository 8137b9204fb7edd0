#include "ftp/IdFTP.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "ftp/IdException.h"
#include "ftp/IdGlobal.h"
#include "ftp/IdStack.h"
#include "runtime/Convert.h"
#include "runtime/ScopeExit.h"

namespace korv {

TIdFTP::TIdFTP() { Port = 21; }

TIdFTP::~TIdFTP() = default;

void TIdFTP::SetTransferType(TIdFTPTransferType type) {
  if (type == Type || Data) return;
  Type = type;
  if (IsConnected()) SendTypeCommand();
}

void TIdFTP::ConnectServer(bool login, int timeoutMs) {
  std::string host = Host;
  const int port = Port;
  IgnoredPassiveAddress.clear();
  DataProtected = false;
  try {
    {
      // The login names the real server, not the proxy.
      auto restore = ScopeExit([&] {
        Host.swap(host);
        Port = port;
      });
      if (ProxySettings.ProxyType != fpcmNone && !ProxySettings.Host.empty()) {
        Host = ProxySettings.Host;
        Port = ProxySettings.Port;
      }
      TlsHost = Host;
      OpenConnection(timeoutMs);
    }
    ReadReply({220});
    GreetingReply = LastReply;
    if (UseTLS) StartTLS();
    if (login) {
      SendLogin();
      if (UseTLS) {
        SendCommand("PBSZ 0", 200);
        SendCommand("PROT P", 200);
        DataProtected = true;
      }
      if (OnAfterClientLogin) OnAfterClientLogin(this);
      SendTypeCommand();
      if (SendCommand("SYST", {200, 215, 500}) == 500)
        SystemDescription = "Unknown";
      else
        SystemDescription = LastReply.Text.empty() ? "" : LastReply.Text.front();
      ReportStatus(ftpReady, "Connection established");
    }
  } catch (...) {
    CloseConnection();
    throw;
  }
}

void TIdFTP::StartTLS() {
  if (!TlsContext || TlsContext->CAFile() != TLSCAFile) TlsContext = std::make_unique<TIdTLSContext>(TLSCAFile);
  SendCommand("AUTH TLS", 234);
  Handler->StartTLS(*TlsContext, TlsHost, nullptr, TLSTimeout);
}

void TIdFTP::ProtectData(TIdTCPConnection& connection) {
  if (DataProtected) connection.IOHandler()->StartTLS(*TlsContext, TlsHost, Handler->TLS(), TLSTimeout);
}

void TIdFTP::SendUser(const std::string& user, const std::string& password) {
  if (SendCommand("USER " + user, {230, 331}) == 331) SendCommand("PASS " + password, 230);
}

void TIdFTP::SendLogin() {
  auto proxyUser = [this] {
    if (!ProxySettings.UserName.empty()) SendUser(ProxySettings.UserName, ProxySettings.Password);
  };
  switch (ProxySettings.ProxyType) {
    case fpcmNone:
      SendUser(Username, Password);
      break;
    case fpcmUserSite:
      proxyUser();
      SendUser(Username + "@" + Host, Password);
      break;
    case fpcmSite:
      proxyUser();
      SendCommand("SITE " + Host, -1);
      SendUser(Username, Password);
      break;
    case fpcmOpen:
      proxyUser();
      SendCommand("OPEN " + Host, -1);
      SendUser(Username, Password);
      break;
    case fpcmUserPass:
      if (SendCommand("USER " + Username + "@" + ProxySettings.UserName + "@" + Host, {230, 331}) == 331)
        SendCommand("PASS " + Password + (ProxySettings.Password.empty() ? "" : "@" + ProxySettings.Password), 230);
      break;
    case fpcmTransparent:
      proxyUser();
      SendUser(Username, Password);
      break;
    case fpcmHttpProxyWithFtp:
      throw EIdException("Command not supported.");
  }
  LoginReply = LastReply;
}

void TIdFTP::SendTypeCommand() { SendCommand(Type == ftASCII ? "TYPE A" : "TYPE I", 200); }

void TIdFTP::ChangeDirectory(const std::string& directory) { SendCommand("CWD " + directory, {200, 250}); }

void TIdFTP::Rename(const std::string& from, const std::string& to) {
  SendCommand("RNFR " + from, 350);
  SendCommand("RNTO " + to, 250);
}

void TIdFTP::Delete(const std::string& name) { SendCommand("DELE " + name, 250); }

void TIdFTP::MakeDirectory(const std::string& path) { SendCommand("MKD " + path, 257); }

void TIdFTP::RenameOver(const std::string& from, const std::string& to) {
  SendCommand("RNFR " + from, 350);
  try {
    SendCommand("RNTO " + to, 250);
  } catch (const EIdProtocolReplyError& refused) {
    if (refused.ReplyCode / 100 != 5) throw;
    Delete(to);
    Rename(from, to);
  }
}

void TIdFTP::SignOff() {
  // A server that is gone already fails the QUIT; the connection is closed
  // all the same.
  ThenAlways([this] {
    if (IsConnected()) WriteLine("QUIT");
  }, [this] { CloseConnection(); });
}

void TIdFTP::AbortTransfer() {
  if (IsConnected()) WriteLine("ABOR");
  DropDataChannel();
}

void TIdFTP::DropDataChannel() {
  if (!Data) return;
  DataDropped = true;
  Data->CloseSocketOnly();
}

void TIdFTP::UploadFile(const std::string& localPath, const std::string& remoteName, bool append) {
  TFileStream stream(localPath);
  StoreStream(stream, remoteName, append);
}

void TIdFTP::StoreStream(TStream& stream, const std::string& remoteName, bool append) {
  if (remoteName.empty())
    TransferOut("STOU ", stream);
  else
    TransferOut((append ? "APPE " : "STOR ") + remoteName, stream);
}

void TIdFTP::PrepareDataChannel() {
  Data->SendBufferSize = SendBufferSize;
  Data->RecvBufferSize = RecvBufferSize;
  Data->WriteTimeout = WriteTimeout;
  Data->StreamTimeout = TransferTimeout;
  Data->OnWork = OnWork;
  Data->OnWorkBegin = OnWorkBegin;
  Data->OnWorkEnd = OnWorkEnd;
}

void TIdFTP::SendData(TIdTCPConnection& connection, TStream& stream, bool fromStart) {
  try {
    connection.SendStream(stream, fromStart);
  } catch (const EIdSocketError& e) {
    // 10038: AbortTransfer closed the socket; the replies tell the rest.
    if (e.LastError != WSAENOTSOCK && !DataDropped) throw;
  } catch (const EIdException&) {
    if (!DataDropped) throw;
  }
}

void TIdFTP::TransferOut(const std::string& command, TStream& stream) {
  ReportStatus(ftpTransfer, "Starting FTP transfer");
  DataDropped = false;
  ThenAlways([&] { SendOverDataConnection(command, stream); },
             [this] { ReportStatus(ftpReady, "Transfer complete"); });
  const int code = ReadReply({225, 226, 250, 426, 450});
  if (code == 426 || code == 450) {
    // The server failed the store, unless we aborted it ourselves: then
    // this is the expected end, and the reply to the ABOR follows.
    if (!DataDropped) RaiseReplyError();
    ReadReply({226, 225});
    ReportStatus(ftpAborted, "Transfer aborted");
  }
}

void TIdFTP::SendOverDataConnection(const std::string& command, TStream& stream) {
  // Destroying the data connection shuts it down: the end of the file.
  auto dropData = ScopeExit([this] { Data.reset(); });
  if (!Handler || !Handler->Binding()) throw EIdNotConnected();
  if (Passive) {
    auto [ip, port] = RequestPassive();
    // Only the port is taken: a reply naming another host must not send
    // our data there.
    const std::string server = Handler->Binding()->RemoteIP;
    if (ip != server) IgnoredPassiveAddress = ip;
    WriteLine(command);
    auto client = std::make_unique<TIdTCPClient>();
    TIdTCPClient& channel = *client;
    Data = std::move(client);
    PrepareDataChannel();
    channel.ConnectTimeout = ConnectTimeout;
    channel.Host = server;
    channel.Port = port;
    try {
      channel.OpenConnection(-1);
    } catch (const EIdException&) {
      // A server that refuses the command may close its data port before we
      // reach it: then its reply says why, not the refused connect. A server
      // that says nothing leaves the connect's error.
      if (InBuffer.Size() == 0 && !Handler->WaitReadable(DataRefusalTimeout)) throw;
      if (const int code = ReadReply(); code != 110 && code != 125 && code != 150) RaiseReplyError();
      throw;
    }
    ReadReply({110, 125, 150});
    ProtectData(channel);
    SendData(channel, stream, false);
    return;
  }
  auto server = std::make_unique<TIdSimpleServer>();
  TIdSimpleServer& listener = *server;
  Data = std::move(server);
  PrepareDataChannel();
  // The server may only connect back to the address it knows us by.
  listener.BoundIP = Handler->Binding()->IP;
  listener.AcceptTimeout = AcceptTimeout;
  listener.WatchedSocket = Handler->Binding()->Handle();
  listener.PrepareListen();
  AnnouncePort(*listener.Binding());
  SendCommand(command, {125, 150});
  if (InBuffer.Size() == 0 && listener.WaitAndAccept()) {
    ProtectData(listener);
    SendData(listener, stream, true);
    return;
  }
  // A reply instead of the connection (425, 421, ...) is the server's error.
  if (InBuffer.Size() > 0 || Handler->WaitReadable(0)) {
    ReadReply();
    RaiseReplyError();
  }
  throw EIdNotConnected();
}

namespace {

// The six numbers h1,h2,h3,h4,p1,p2 of a PASV reply wherever the text puts
// them (in parentheses, after "=", alone): the first run of six decimal
// numbers joined by commas, blanks allowed around the commas. -1 stands for
// a number too large to convert.
std::optional<std::array<int, 6>> SixNumbers(std::string_view text) {
  auto digit = [&](size_t at) { return at < text.size() && text[at] >= '0' && text[at] <= '9'; };
  auto skipBlanks = [&](size_t at) {
    while (at < text.size() && text[at] == ' ') ++at;
    return at;
  };
  for (size_t start = 0; start < text.size(); ++start) {
    if (!digit(start) || (start > 0 && digit(start - 1))) continue;
    std::array<int, 6> numbers{};
    size_t at = start;
    for (int count = 0;;) {
      size_t end = at;
      while (digit(end)) ++end;
      numbers[static_cast<size_t>(count)] = StrToIntDef(text.substr(at, end - at), -1);
      if (++count == 6) return numbers;
      at = skipBlanks(end);
      if (at == text.size() || text[at] != ',') break;
      at = skipBlanks(at + 1);
      if (!digit(at)) break;
    }
  }
  return std::nullopt;
}

}  // namespace

std::pair<std::string, int> TIdFTP::RequestPassive() {
  SendCommand("PASV", 227);
  std::optional<std::array<int, 6>> numbers;
  for (const std::string& line : LastReply.Text)
    if ((numbers = SixNumbers(line))) break;
  // A reply that names no usable address is refused rather than connected
  // to something else.
  if (!numbers || std::any_of(numbers->begin(), numbers->end(), [](int n) { return n < 0 || n > 255; }))
    RaiseReplyError();
  const std::array<int, 6>& n = *numbers;
  return {IntToStr(n[0]) + "." + IntToStr(n[1]) + "." + IntToStr(n[2]) + "." + IntToStr(n[3]), n[4] * 256 + n[5]};
}

void TIdFTP::AnnouncePort(const TIdSocketHandle& binding) {
  std::string address = binding.IP;
  std::replace(address.begin(), address.end(), '.', ',');
  SendCommand("PORT " + address + "," + IntToStr(binding.Port / 256) + "," + IntToStr(binding.Port % 256), 200);
}

}  // namespace korv
