// The application's one report of errors that escape a handler: a message
// box with the error's message, after which the program goes on. The box is
// not modal and the report returns at once, so the capture cycle runs on
// while it is open; at most one is open, showing the newest error. Tests
// may install a recorder instead of the box.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace korv {

using ErrorReporter = std::function<void(const std::string& message)>;

// Shows `message` through the installed reporter (a message box by default).
void ReportError(const std::string& message);
// Installs `reporter` (an empty one restores the message box); returns the previous one.
ErrorReporter SetErrorReporter(ErrorReporter reporter);

// The message of an error caught by `catch (...)`.
std::string ErrorMessage(std::exception_ptr error);

// Runs the window's handlers. A handler started by the user (the outermost
// one) that fails is ended and its error reported. A handler that the program
// starts from inside another one (a text or selection set by the program)
// can't throw through the toolkit, so its error is kept and `Propagate`,
// called right after the change that started it, rethrows it into the
// outer handler, which then ends as if it had failed itself.
class HandlerRunner {
public:
  void Run(const std::function<void()>& handler);
  void Propagate();
  // Reports `message` as a failed handler's error is reported.
  void Report(const std::string& message);

  // Also told every error reported (the station's log).
  ErrorReporter OnReport;

private:
  int Depth = 0;
  std::exception_ptr Pending;
};

}  // namespace korv
