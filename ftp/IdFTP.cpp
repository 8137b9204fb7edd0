#include "ftp/IdFTP.h"

#include <algorithm>
#include <vector>

#include "ftp/IdException.h"
#include "ftp/IdGlobal.h"
#include "ftp/IdStack.h"
#include "runtime/Convert.h"

namespace korv {

TIdFTP::TIdFTP() { Port = 21; }

TIdFTP::~TIdFTP() = default;

void TIdFTP::SetTransferType(TIdFTPTransferType type) {
  if (type == Type || Data) return;
  Type = type;
  if (IsConnected()) SendTypeCommand();
}

void TIdFTP::ConnectServer(bool login, int timeoutMs) {
  const std::string host = Host;
  const int port = Port;
  if (ProxySettings.ProxyType != fpcmNone && !ProxySettings.Host.empty()) {
    Host = ProxySettings.Host;
    Port = ProxySettings.Port;
  }
  try {
    try {
      OpenConnection(timeoutMs);
    } catch (...) {
      Host = host;
      Port = port;
      throw;
    }
    // The login names the real server, not the proxy.
    Host = host;
    Port = port;
    ReadReply({220});
    GreetingReply = LastReply;
    if (login) {
      SendLogin();
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

void TIdFTP::SignOff() {
  try {
    if (IsConnected()) WriteLine("QUIT");
  } catch (...) {
    // The server is gone already; the connection is closed all the same.
    CloseConnection();
    throw;
  }
  CloseConnection();
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
  try {
    if (Passive) {
      auto [ip, port] = RequestPassive();
      WriteLine(command);
      auto client = std::make_unique<TIdTCPClient>();
      TIdTCPClient& channel = *client;
      Data = std::move(client);
      PrepareDataChannel();
      channel.Host = ip;
      channel.Port = port;
      channel.OpenConnection(-1);
      try {
        ReadReply({110, 125, 150});
        SendData(channel, stream, false);
      } catch (...) {
        channel.CloseConnection();
        throw;
      }
      channel.CloseConnection();
    } else {
      if (!Handler || !Handler->Binding()) throw EIdNotConnected();
      auto server = std::make_unique<TIdSimpleServer>();
      TIdSimpleServer& listener = *server;
      Data = std::move(server);
      PrepareDataChannel();
      // The server may only connect back to the address it knows us by.
      listener.BoundIP = Handler->Binding()->IP;
      listener.AcceptTimeout = AcceptTimeout;
      listener.PrepareListen();
      AnnouncePort(*listener.Binding());
      SendCommand(command, {125, 150});
      if (!listener.WaitAndAccept()) throw EIdNotConnected();
      SendData(listener, stream, true);
    }
  } catch (...) {
    // Destroying the data connection shuts it down: the end of the file.
    Data.reset();
    ReportStatus(ftpReady, "Transfer complete");
    throw;
  }
  Data.reset();
  ReportStatus(ftpReady, "Transfer complete");
  int code = ReadReply({225, 226, 250, 426, 450});
  if (code == 426 || code == 450) {
    ReadReply({226, 225});
    ReportStatus(ftpAborted, "Transfer aborted");
  }
}

std::pair<std::string, int> TIdFTP::RequestPassive() {
  SendCommand("PASV", 227);
  std::string line = Trim(LastReply.Text.empty() ? "" : LastReply.Text.front());
  size_t open = line.find('('), close = line.find(')');
  std::string numbers;
  if (open != std::string::npos && close != std::string::npos && close > open)
    numbers = line.substr(open + 1, close - open - 1);
  else if (size_t blank = line.rfind(' '); blank != std::string::npos)
    numbers = line.substr(blank + 1);
  else
    numbers = line;
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t comma; (comma = numbers.find(',', start)) != std::string::npos; start = comma + 1)
    fields.push_back(numbers.substr(start, comma - start));
  fields.push_back(numbers.substr(start));
  if (fields.size() < 6) RaiseReplyError();
  std::string ip = fields[0] + "." + fields[1] + "." + fields[2] + "." + fields[3];
  int high = StrToInt(fields[4]), low = StrToInt(fields[5]);
  // A reply that names no usable address is refused rather than connected
  // to something else.
  if (!TIdStack::IsDottedQuad(ip) || high < 0 || high > 255 || low < 0 || low > 255) RaiseReplyError();
  return {ip, high * 256 + low};
}

void TIdFTP::AnnouncePort(const TIdSocketHandle& binding) {
  std::string address = binding.IP;
  std::replace(address.begin(), address.end(), '.', ',');
  SendCommand("PORT " + address + "," + IntToStr(binding.Port / 256) + "," + IntToStr(binding.Port % 256), 200);
}

}  // namespace korv
