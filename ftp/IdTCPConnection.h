// A buffered TCP connection: line reading, numbered replies in the manner of
// RFC 959, writing of bytes and streams with progress, and an orderly close.
// Whoever talks a protocol over it sees whole replies, never bytes.
#pragma once

#include <climits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/IdBuffer.h"
#include "ftp/IdComponent.h"
#include "ftp/IdGlobal.h"
#include "ftp/IdIOHandlerSocket.h"
#include "ftp/IdRFCReply.h"
#include "ftp/Stream.h"

namespace korv {

enum TIdMaxLineAction { maException, maSplit };

using TReplyCodes = std::vector<int>;

class TIdTCPConnection : public TIdComponent {
public:
  TIdTCPConnection();
  ~TIdTCPConnection() override;

  int ReadTimeout = 0;  // ms; 0 waits without limit
  // ms; 0 waits without limit. A peer that stops reading fails the send
  // this long after it took the last byte.
  int WriteTimeout = 0;
  // ms; 0 without limit. The longest SendStream may take as a whole: a peer
  // that takes the bytes in a trickle moves each send on a little within
  // WriteTimeout and would otherwise hold it for ever.
  int StreamTimeout = 0;
  int MaxLineLength = 16384;  // 0: no limit
  // Bounds of one reply that no server can stretch: it must end within
  // ReplyTimeout ms of its first byte, and hold at most MaxReplyLines lines
  // and MaxReplyBytes bytes (blank lines before it included). 0: no bound.
  int ReplyTimeout = 60000;
  int MaxReplyLines = 1000;
  int MaxReplyBytes = 65536;
  TIdMaxLineAction MaxLineAction = maException;
  int RecvBufferSize = 32768;
  int SendBufferSize = 32768;
  TNotifyEvent OnDisconnected;

  TIdRFCReply GreetingReply;
  TIdRFCReply LastReply;
  TIdBuffer InBuffer;
  bool LineWasSplit = false;
  bool LineTimedOut = false;

  TIdIOHandlerSocket* IOHandler() const { return Handler.get(); }
  bool PeerClosed() const { return PeerClosedFlag; }

  virtual void DoOnDisconnected();
  // Empties the input and forgets that the peer closed.
  virtual void ResetInput();
  // Whether the connection is gone; closes the socket (with the
  // hsDisconnected report) when the peer has closed it. Raises
  // EIdConnClosedGracefully when asked and nothing is left to read (or the
  // buffer is to be ignored).
  virtual bool CheckDisconnected(bool raiseIfDisconnected = true, bool ignoreBuffer = false);
  // An empty list accepts any code; RaiseReplyError for others.
  virtual int CheckReplyCode(int code, const TReplyCodes& allowed);
  virtual bool IsConnected();
  virtual void CloseConnection();
  virtual void CloseSocketOnly();
  virtual int ReadReply(const TReplyCodes& allowed = {});
  [[noreturn]] virtual void RaiseReplyError();
  // Receives once the socket is readable within `timeoutMs` (-1: the
  // ReadTimeout). The byte count, -1 on a time-out not raised, 0 when the
  // connection went away with data left to read.
  virtual int FillInputBuffer(bool raiseIfDisconnected = true, int timeoutMs = -1, bool raiseOnTimeout = true);
  // The next line without its terminator (empty: LF, which also drops a CR
  // before it). Over-long lines raise or are split as MaxLineAction says.
  virtual std::string ReadTextLine(std::string_view terminator = {}, int maxLength = -1);
  virtual int SendCommand(const std::string& line, const TReplyCodes& allowed);
  // One accepted code; -1 accepts any.
  int SendCommand(const std::string& line, int allowed) {
    return SendCommand(line, allowed == -1 ? TReplyCodes{} : TReplyCodes{allowed});
  }
  virtual void WriteText(const std::string& text);
  virtual void WriteLine(const std::string& line);
  // Sends `size` bytes (0: up to the end) in SendBufferSize chunks, with
  // OnWorkBegin/OnWork/OnWorkEnd for wmWrite.
  virtual void SendStream(TStream& stream, bool fromStart = true, bool withByteCount = false, int64_t size = 0);

  void SendBytes(const void* buffer, size_t count);
  // Reads one reply, all its lines, into LastReply. A multi-line reply
  // ("123-") ends only at a line that starts with its code and a blank or is
  // the code alone; every line before that is part of it, whatever it holds.
  // Raises EIdReplyTimeout or EIdReplyTooLong past the reply bounds.
  void ReadReplyLines();

protected:
  std::unique_ptr<TIdIOHandlerSocket> Handler;
  bool OwnsIOHandler = false;
  bool PeerClosedFlag = false;

private:
  std::string LineTooLong(size_t maxLength);
  std::string ReadReplyLine(int& lines);
  void StartReplyClock();

  std::vector<char> ReceiveScratch;
  // While SendStream runs with a StreamTimeout: when it must be done.
  std::optional<TDeadline> SendDeadline;
  // While a reply is read: when its first byte came, when it must end, and
  // how many bytes it took so far.
  bool ReadingReply = false;
  bool ReplyStarted = false;
  TDeadline ReplyDeadline;
  int64_t ReplyBytes = 0;
};

}  // namespace korv
