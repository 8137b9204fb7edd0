#include "ftp/IdStack.h"

#include <arpa/inet.h>
#include <sys/select.h>

#include <cctype>
#include <memory>
#include <mutex>

#include "ftp/IdException.h"
#include "runtime/Convert.h"
#include "runtime/Exception.h"

namespace korv {

namespace {

std::mutex StackLock;
int StackUsers = 0;
std::unique_ptr<TIdStack> Stack;

struct ErrorText {
  int Code;
  const char* Text;
};

constexpr ErrorText kErrorTexts[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Bad address."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block. "},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
    {11001, "Host not found."},
};

// The four pieces of a dotted text: cut at the first three full stops, the
// last piece keeps whatever remains.
std::vector<std::string> DottedPieces(const std::string& text) {
  std::vector<std::string> pieces;
  size_t start = 0;
  for (int i = 0; i < 3 && start <= text.size(); ++i) {
    size_t dot = text.find('.', start);
    if (dot == std::string::npos) dot = text.size();
    pieces.push_back(text.substr(start, dot - start));
    start = dot + 1;
  }
  pieces.push_back(start <= text.size() ? text.substr(start) : "");
  while (pieces.size() < 4) pieces.emplace_back();
  return pieces;
}

// The piece as the integer conversion reads it (blanks around it, a sign,
// leading zeros), when that is 0..255; else -1.
int ByteNumber(const std::string& piece) {
  int value = StrToIntDef(piece, -1);
  return value >= 0 && value <= 255 ? value : -1;
}

}  // namespace

TSocket TIdStack::NewSocket(int type, int protocol) {
  TSocket s = WsSocket(type, protocol);
  if (s == Id_INVALID_SOCKET) throw EIdInvalidSocket();
  return s;
}

bool TIdStack::IsDottedQuad(const std::string& text) {
  for (const std::string& piece : DottedPieces(text))
    if (ByteNumber(piece) < 0) return false;
  return true;
}

bool TIdStack::IsLocalHostName(const std::string& host) {
  std::string upper;
  for (char c : host) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper == "LOCALHOST";
}

std::string TIdStack::ResolveHostName(const std::string& host) {
  if (IsLocalHostName(host)) return "127.0.0.1";
  if (IsDottedQuad(host)) return host;
  in_addr address{};
  CheckSocketResult(WsGetHostByName(host, address));
  return AddressToString(address);
}

in_addr TIdStack::StringToAddress(const std::string& text) {
  uint32_t value = 0;
  for (const std::string& piece : DottedPieces(text)) {
    int number = ByteNumber(piece);
    if (number < 0) throw EConvertError("'" + text + "' is not a valid IP address");
    value = value << 8 | static_cast<uint32_t>(number);
  }
  in_addr address{};
  address.s_addr = htonl(value);
  return address;
}

std::string TIdStack::AddressToString(in_addr address) {
  uint32_t value = ntohl(address.s_addr);
  return IntToStr(value >> 24) + "." + IntToStr(value >> 16 & 255) + "." + IntToStr(value >> 8 & 255) + "." +
         IntToStr(value & 255);
}

sockaddr_in TIdStack::MakeSockAddr(const std::string& ip, int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr = ip.empty() ? in_addr{htonl(INADDR_ANY)} : StringToAddress(ip);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

bool TIdStack::CheckSocketResult(int result, std::initializer_list<int> ignored) {
  if (result != Id_SOCKET_ERROR) return false;
  int code = WSAGetLastError();
  LastErrorCode = code;
  for (int each : ignored)
    if (each == code) return true;
  RaiseSocketFailure(code);
}

void TIdStack::RaiseSocketFailure(int code) { throw EIdSocketError(code, SocketErrorText(code)); }

std::string TIdStack::SocketErrorText(int code) {
  std::string text;
  for (const ErrorText& each : kErrorTexts)
    if (each.Code == code) text = each.Text;
  return "Socket Error # " + IntToStr(code) + "\r\n" + text;
}

int TIdStack::SelectRead(std::vector<TSocket>& sockets, int timeoutMs) {
  if (sockets.size() > FD_SETSIZE) throw EIdStackSetSizeExceeded();
  int ready = WsSelectRead(sockets, timeoutMs);
  if (ready < 0) sockets.clear();
  return ready < 0 ? 0 : ready;
}

TIdStack& SharedStack() {
  std::lock_guard<std::mutex> guard(StackLock);
  if (!Stack) throw EAssertionFailed::At("IdStack", __LINE__);
  return *Stack;
}

// Sockets need no library start-up or clean-up here: the stack is only the
// shared keeper of the last socket error.
void AddStackUser() {
  std::lock_guard<std::mutex> guard(StackLock);
  if (++StackUsers == 1) Stack = std::make_unique<TIdStack>();
}

void ReleaseStackUser() {
  std::lock_guard<std::mutex> guard(StackLock);
  if (--StackUsers == 0) Stack.reset();
}

}  // namespace korv
