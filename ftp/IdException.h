// The exceptions of the network side. Every class carries its fixed English
// message; socket errors add the Windows Sockets error number, reply errors
// the server's reply code.
#pragma once

#include <string>

#include "runtime/Exception.h"

namespace korv {

class EIdException : public Exception {
public:
  using Exception::Exception;
};

// Failures that are part of normal operation (the peer hung up).
class EIdSilentException : public EIdException {
public:
  using EIdException::EIdException;
};

class EIdConnClosedGracefully : public EIdSilentException {
public:
  EIdConnClosedGracefully() : EIdSilentException("Connection Closed Gracefully.") {}
};

// A socket call failed; `LastError` is the Windows Sockets number.
class EIdSocketError : public EIdException {
public:
  EIdSocketError(int lastError, std::string message) : EIdException(std::move(message)), LastError(lastError) {}
  int LastError;
};

class EIdInvalidSocket : public EIdException {
public:
  EIdInvalidSocket() : EIdException("Cannot allocate socket.") {}
};

class EIdClosedSocket : public EIdException {
public:
  EIdClosedSocket() : EIdException("Disconnected.") {}
};

class EIdConnectTimeout : public EIdException {
public:
  EIdConnectTimeout() : EIdException("Connect timed out.") {}
};

// Carries the message of whatever the connect thread caught.
class EIdConnectException : public EIdException {
public:
  using EIdException::EIdException;
};

// The wait for the server's data connection ran out.
class EIdAcceptTimeout : public EIdException {
public:
  EIdAcceptTimeout() : EIdException("Accept timed out.") {}
};

// A socket-library entry could not be loaded or called. The message is the
// title alone for code 0, else the title, ": " and the code's system text.
class EIdWS2StubError : public EIdException {
public:
  EIdWS2StubError(const std::string& title, int code, const std::string& systemText)
      : EIdException(code == 0 ? title : title + ": " + systemText), Title(title), Win32Error(code), SystemText(systemText) {}
  std::string Title;
  int Win32Error;
  std::string SystemText;
};

class EIdStackError : public EIdException {
public:
  using EIdException::EIdException;
};

class EIdStackSetSizeExceeded : public EIdStackError {
public:
  EIdStackSetSizeExceeded() : EIdStackError("Set Size Exceeded.") {}
};

class EIdStackInitializationFailed : public EIdStackError {
public:
  EIdStackInitializationFailed() : EIdStackError("Winsock Initialization Error.") {}
};

class EIdSocketHandleError : public EIdException {
public:
  using EIdException::EIdException;
};

class EIdCouldNotBindSocket : public EIdSocketHandleError {
public:
  EIdCouldNotBindSocket() : EIdSocketHandleError("Could not bind socket. Address and port are already in use.") {}
};

class EIdInvalidPortRange : public EIdSocketHandleError {
public:
  EIdInvalidPortRange(int min, int max)
      : EIdSocketHandleError("Invalid Port Range (" + std::to_string(min) + " - " + std::to_string(max) + ")") {}
};

class EIdCanNotBindPortInRange : public EIdSocketHandleError {
public:
  EIdCanNotBindPortInRange(int min, int max)
      : EIdSocketHandleError("Can not bind in port range (" + std::to_string(min) + " - " + std::to_string(max) + ")") {}
};

class EIdAlreadyConnected : public EIdException {
public:
  EIdAlreadyConnected() : EIdException("Already connected.") {}
};

class EIdReadTimeout : public EIdException {
public:
  EIdReadTimeout() : EIdException("Read Timeout") {}
};

// A reply did not end within the connection's ReplyTimeout of its first byte.
class EIdReplyTimeout : public EIdException {
public:
  EIdReplyTimeout() : EIdException("Reply timed out.") {}
};

// A reply ran past the connection's cap on its lines or bytes.
class EIdReplyTooLong : public EIdException {
public:
  EIdReplyTooLong(int lines, int bytes)
      : EIdException("Reply too long (more than " + std::to_string(lines) + " lines or " + std::to_string(bytes) +
                     " bytes).") {}
};

class EIdReadLnMaxLineLengthExceeded : public EIdException {
public:
  EIdReadLnMaxLineLengthExceeded() : EIdException("Max line length exceeded.") {}
};

class EIdTCPConnectionError : public EIdException {
public:
  using EIdException::EIdException;
};

class EIdNotConnected : public EIdTCPConnectionError {
public:
  EIdNotConnected() : EIdTCPConnectionError("Not Connected") {}
};

class EIdNotEnoughDataInBuffer : public EIdTCPConnectionError {
public:
  EIdNotEnoughDataInBuffer() : EIdTCPConnectionError("Not enough data in buffer.") {}
};

class EIdNoDataToRead : public EIdTCPConnectionError {
public:
  EIdNoDataToRead() : EIdTCPConnectionError("No data to read.") {}
};

// The server answered with a code the command does not accept. The message is
// the reply's text lines, each followed by CR LF.
class EIdProtocolReplyError : public EIdException {
public:
  EIdProtocolReplyError(int replyCode, std::string message) : EIdException(std::move(message)), ReplyCode(replyCode) {}
  int ReplyCode;
};

}  // namespace korv
