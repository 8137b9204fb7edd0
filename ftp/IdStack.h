// The process-wide socket stack: socket creation, host names and addresses,
// the check of socket results and the socket error texts.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <initializer_list>
#include <string>
#include <vector>

#include "ftp/IdWinSock2.h"

namespace korv {

class TIdStack {
public:
  // A socket of the INET family; failure raises EIdInvalidSocket.
  TSocket NewSocket(int type, int protocol);

  // Four pieces joined by full stops, each an integer 0..255 as the integer
  // conversion reads it (" 1", "+1" and "0001" are 1).
  static bool IsDottedQuad(const std::string& text);
  // "LOCALHOST" in any letter case.
  static bool IsLocalHostName(const std::string& host);
  // "LOCALHOST" in any case gives 127.0.0.1 and a dotted quad is returned as
  // it is, both without a look-up; any other name is looked up (IPv4) and
  // gives its first address. A failed look-up raises EIdSocketError 11001.
  std::string ResolveHostName(const std::string& host);

  // Dotted text to an address in network order. Each piece must be a number
  // 0..255, else EConvertError.
  static in_addr StringToAddress(const std::string& text);
  static std::string AddressToString(in_addr address);
  static sockaddr_in MakeSockAddr(const std::string& ip, int port);

  // For a result of -1: reads and keeps the last socket error; true when the
  // error is one of `ignored`, otherwise raises it. Other results give false.
  bool CheckSocketResult(int result, std::initializer_list<int> ignored = {});
  [[noreturn]] void RaiseSocketFailure(int code);
  // "Socket Error # <code>" CR LF and the text for the code (empty when the
  // code has none).
  static std::string SocketErrorText(int code);

  // The number of readable sockets among `sockets` within `timeoutMs`
  // (-2: no limit), which are all that `sockets` keeps; a failed wait counts
  // as none readable.
  int SelectRead(std::vector<TSocket>& sockets, int timeoutMs);

  int LastError() const { return LastErrorCode; }

private:
  std::atomic<int> LastErrorCode{0};
};

// The one stack of the process. It lives while at least one network
// component does; the components count themselves in and out here.
TIdStack& SharedStack();
void AddStackUser();
void ReleaseStackUser();

}  // namespace korv
