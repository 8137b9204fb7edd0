// Base exception of the whole program and the runtime's own errors.
#pragma once

#include <exception>
#include <string>

namespace korv {

// Every error of the program carries an English message text and nothing else
// that callers rely on; subclasses only tell the kind of failure.
class Exception : public std::exception {
public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  const std::string& message() const noexcept { return Message; }

private:
  std::string Message;
};

// A text that is not a number where a number was expected.
class EConvertError : public Exception {
public:
  using Exception::Exception;
};

// A file that could not be opened.
class EFOpenError : public Exception {
public:
  using Exception::Exception;
};

// An index outside a list.
class EListError : public Exception {
public:
  using Exception::Exception;
};

// A failed input/output operation (a file, a library that would not load).
class EInOutError : public Exception {
public:
  using Exception::Exception;
};

// A broken internal assumption; the message has the form
// "Assertion failure (<unit>, line <n>)".
class EAssertionFailed : public Exception {
public:
  using Exception::Exception;
  static EAssertionFailed At(const std::string& unit, int line);
};

}  // namespace korv
