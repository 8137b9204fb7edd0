#include "ftp/IdTCPConnection.h"

#include <arpa/inet.h>

#include <algorithm>

#include "ftp/IdException.h"
#include "ftp/IdGlobal.h"
#include "ftp/IdStack.h"
#include "runtime/ScopeExit.h"

namespace korv {

TIdTCPConnection::TIdTCPConnection() {
  InBuffer.OnConsumed = [this](size_t count) {
    if (ReadingReply) ReplyBytes += static_cast<int64_t>(count);
    AddWork(wmRead, static_cast<int64_t>(count));
  };
}

TIdTCPConnection::~TIdTCPConnection() {
  // Not through the virtual: a derived part is already gone here.
  if (Handler) {
    PeerClosedFlag = true;
    Handler->Close();
  }
}

void TIdTCPConnection::DoOnDisconnected() {
  if (OnDisconnected) OnDisconnected(this);
}

void TIdTCPConnection::ResetInput() {
  InBuffer.Clear();
  PeerClosedFlag = false;
}

bool TIdTCPConnection::CheckDisconnected(bool raiseIfDisconnected, bool ignoreBuffer) {
  bool disconnected = false;
  if (PeerClosedFlag && Handler) {
    if (Handler->Connected()) {
      CloseSocketOnly();
      ReportStatus(hsDisconnected);
      DoOnDisconnected();
    }
    disconnected = true;
  } else if (Handler) {
    disconnected = !Handler->Connected();
  }
  if (disconnected && (InBuffer.Size() == 0 || ignoreBuffer) && raiseIfDisconnected) throw EIdConnClosedGracefully();
  return disconnected;
}

int TIdTCPConnection::CheckReplyCode(int code, const TReplyCodes& allowed) {
  if (!allowed.empty() && std::find(allowed.begin(), allowed.end(), code) == allowed.end()) RaiseReplyError();
  return code;
}

bool TIdTCPConnection::IsConnected() {
  CheckDisconnected(false);
  return Handler && Handler->Connected();
}

void TIdTCPConnection::CloseConnection() {
  ReportStatus(hsDisconnecting);
  CloseSocketOnly();
  if (OwnsIOHandler) {
    Handler.reset();
    OwnsIOHandler = false;
  }
  DoOnDisconnected();
  ReportStatus(hsDisconnected);
}

void TIdTCPConnection::CloseSocketOnly() {
  if (!Handler) return;
  PeerClosedFlag = true;
  Handler->Close();
}

int TIdTCPConnection::ReadReply(const TReplyCodes& allowed) {
  ReadReplyLines();
  return CheckReplyCode(LastReply.NumericCode, allowed);
}

void TIdTCPConnection::RaiseReplyError() {
  std::string message;
  for (const std::string& line : LastReply.Text) message += line + "\r\n";
  throw EIdProtocolReplyError(LastReply.NumericCode, message);
}

int TIdTCPConnection::FillInputBuffer(bool raiseIfDisconnected, int timeoutMs, bool raiseOnTimeout) {
  if (timeoutMs == -1) timeoutMs = ReadTimeout == 0 ? -2 : ReadTimeout;
  CheckDisconnected(raiseIfDisconnected);
  if (!IsConnected()) {
    if (raiseIfDisconnected) throw EIdNotConnected();
    return 0;
  }
  int count;
  do {
    int wait = timeoutMs;
    bool replyClockFirst = false;
    if (ReadingReply && ReplyStarted && ReplyTimeout > 0) {
      const int64_t left = MsLeft(ReplyDeadline);
      if (left <= 0) throw EIdReplyTimeout();
      if (wait == -2 || left < wait) {
        wait = static_cast<int>(left);
        replyClockFirst = true;
      }
    }
    if (!Handler->WaitReadable(wait)) {
      if (replyClockFirst) throw EIdReplyTimeout();
      if (raiseOnTimeout) throw EIdReadTimeout();
      return -1;
    }
    ReceiveScratch.resize(static_cast<size_t>(std::max(RecvBufferSize, 1)));
    count = Handler->Recv(ReceiveScratch.data(), static_cast<int>(ReceiveScratch.size()));
    PeerClosedFlag = count == 0;
    if (count == -1) {
      TIdStack& stack = SharedStack();
      stack.CheckSocketResult(count, {WSAESHUTDOWN, WSAECONNABORTED});
      // The peer went away: what it sent before stays readable.
      CloseSocketOnly();
      if (InBuffer.Size() == 0) stack.RaiseSocketFailure(stack.LastError());
      count = 0;
    }
    if (count > 0) {
      InBuffer.Append(ReceiveScratch.data(), static_cast<size_t>(count));
      if (ReadingReply && !ReplyStarted) StartReplyClock();
    }
    CheckDisconnected(raiseIfDisconnected);
  } while (count == 0 && IsConnected());
  return count;
}

std::string TIdTCPConnection::LineTooLong(size_t maxLength) {
  if (MaxLineAction == maException) throw EIdReadLnMaxLineLengthExceeded();
  LineWasSplit = true;
  return InBuffer.Extract(maxLength);
}

std::string TIdTCPConnection::ReadTextLine(std::string_view terminator, int maxLength) {
  if (maxLength == -1) maxLength = MaxLineLength;
  const bool lineFeed = terminator.empty() || terminator == "\n";
  const std::string_view ending = lineFeed ? std::string_view("\n") : terminator;
  const size_t limit = maxLength > 0 ? static_cast<size_t>(maxLength) : 0;
  LineWasSplit = false;
  LineTimedOut = false;
  size_t searchFrom = 0;
  for (;;) {
    // Only the bytes that arrived since the last pass are searched.
    size_t found = InBuffer.Find(ending, searchFrom);
    if (found != std::string::npos) {
      if (limit != 0 && found > limit) return LineTooLong(limit);
      size_t length = found;
      if (lineFeed && length > 0 && InBuffer.View()[length - 1] == '\r') --length;
      return InBuffer.Extract(length, found + ending.size());
    }
    size_t size = InBuffer.Size();
    if (limit != 0 && size > limit) return LineTooLong(limit);
    searchFrom = size >= ending.size() ? size - ending.size() + 1 : 0;
    CheckDisconnected(true, true);
    if (FillInputBuffer() == 0) {
      LineTimedOut = true;
      return "";
    }
  }
}

void TIdTCPConnection::StartReplyClock() {
  ReplyStarted = true;
  ReplyDeadline = DeadlineIn(ReplyTimeout);
}

// The next line of a reply, counted against the reply's bounds.
std::string TIdTCPConnection::ReadReplyLine(int& lines) {
  int maxLength = MaxLineLength;
  if (MaxReplyBytes > 0 && (maxLength == 0 || maxLength > MaxReplyBytes)) maxLength = MaxReplyBytes;
  std::string line = ReadTextLine({}, maxLength);
  if ((MaxReplyLines > 0 && ++lines > MaxReplyLines) || (MaxReplyBytes > 0 && ReplyBytes > MaxReplyBytes))
    throw EIdReplyTooLong(MaxReplyLines, MaxReplyBytes);
  return line;
}

namespace {

// The last line of a multi-line reply: its code followed by a blank, or the
// code alone. A text line that starts with digits is padded by the server.
bool EndsReply(std::string_view line, std::string_view code) {
  return line.size() >= code.size() && SameText(line.substr(0, code.size()), code) &&
         (line.size() == code.size() || line[code.size()] == ' ');
}

}  // namespace

void TIdTCPConnection::ReadReplyLines() {
  ReadingReply = true;
  ReplyStarted = false;
  ReplyBytes = 0;
  auto done = ScopeExit([this] { ReadingReply = false; });
  if (InBuffer.Size() > 0) StartReplyClock();
  int count = 0;
  std::vector<std::string> lines;
  std::string first;
  // Blank lines before a reply are skipped.
  do first = Trim(ReadReplyLine(count));
  while (first.empty());
  lines.push_back(first);
  if (first.size() > 3 && first[3] == '-') {
    const std::string code = first.substr(0, 3);
    do lines.push_back(ReadReplyLine(count));
    while (!EndsReply(lines.back(), code));
  }
  LastReply.ParseReply(lines);
}

int TIdTCPConnection::SendCommand(const std::string& line, const TReplyCodes& allowed) {
  WriteLine(line);
  return ReadReply(allowed);
}

void TIdTCPConnection::SendBytes(const void* buffer, size_t count) {
  if (count == 0 || buffer == nullptr) return;
  CheckDisconnected(true, true);
  if (!IsConnected()) throw EIdNotConnected();
  const char* bytes = static_cast<const char*>(buffer);
  size_t position = 0;
  while (position < count) {
    // Each send waits at most WriteTimeout for the peer to take a byte, and
    // never past the stream's deadline.
    int64_t wait = WriteTimeout > 0 ? WriteTimeout : -2;
    if (SendDeadline) {
      const int64_t left = MsLeft(*SendDeadline);
      if (left <= 0) SharedStack().RaiseSocketFailure(WSAETIMEDOUT);
      if (wait == -2 || left < wait) wait = left;
    }
    int chunk = static_cast<int>(std::min<size_t>(count - position, INT_MAX));
    int sent = Handler->SendWithin(bytes + position, chunk, static_cast<int>(wait));
    PeerClosedFlag = sent == 0;
    CheckDisconnected(true);
    if (sent == -1) {
      TIdStack& stack = SharedStack();
      stack.CheckSocketResult(sent, {WSAESHUTDOWN, WSAECONNABORTED, WSAECONNRESET});
      CloseSocketOnly();
      stack.RaiseSocketFailure(stack.LastError());
    }
    AddWork(wmWrite, sent);
    position += static_cast<size_t>(sent);
  }
}

void TIdTCPConnection::WriteText(const std::string& text) {
  if (!text.empty()) SendBytes(text.data(), text.size());
}

void TIdTCPConnection::WriteLine(const std::string& line) { WriteText(line + "\r\n"); }

void TIdTCPConnection::SendStream(TStream& stream, bool fromStart, bool withByteCount, int64_t size) {
  if (fromStart) stream.Seek(0);
  const int64_t end = size != 0 ? stream.Position() + size : stream.Size();
  const int64_t count = end - stream.Position();
  if (withByteCount) {
    uint32_t networkCount = htonl(static_cast<uint32_t>(count));
    SendBytes(&networkCount, sizeof networkCount);
  }
  if (StreamTimeout > 0) SendDeadline = DeadlineIn(StreamTimeout);
  auto noDeadline = ScopeExit([this] { SendDeadline.reset(); });
  StartWork(wmWrite, count);
  ThenAlways(
      [&] {
        std::vector<char> block(static_cast<size_t>(std::max(SendBufferSize, 1)));
        for (;;) {
          int64_t chunk = std::min<int64_t>(end - stream.Position(), static_cast<int64_t>(block.size()));
          if (chunk <= 0) break;
          int64_t got = stream.Read(block.data(), chunk);
          if (got == 0) throw EIdNoDataToRead();
          SendBytes(block.data(), static_cast<size_t>(got));
        }
      },
      [this] { FinishWork(wmWrite); });
}

}  // namespace korv
