#include "station/ErrorReport.h"

#include <QApplication>
#include <QMessageBox>

#include "runtime/Exception.h"

namespace korv {

namespace {

void ShowMessageBox(const std::string& message) {
  QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("korv-cps"), QString::fromStdString(message));
}

ErrorReporter& Reporter() {
  static ErrorReporter reporter = ShowMessageBox;
  return reporter;
}

}  // namespace

void ReportError(const std::string& message) { Reporter()(message); }

ErrorReporter SetErrorReporter(ErrorReporter reporter) {
  ErrorReporter previous = std::move(Reporter());
  Reporter() = reporter ? std::move(reporter) : ShowMessageBox;
  return previous;
}

std::string ErrorMessage(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const Exception& e) {
    return e.message();
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown error";
  }
}

void HandlerRunner::Run(const std::function<void()>& handler) {
  ++Depth;
  try {
    handler();
  } catch (...) {
    if (!Pending) Pending = std::current_exception();
  }
  --Depth;
  if (Depth == 0 && Pending) {
    std::exception_ptr error = std::exchange(Pending, nullptr);
    ReportError(ErrorMessage(error));
  }
}

void HandlerRunner::Propagate() {
  if (Pending) std::rethrow_exception(std::exchange(Pending, nullptr));
}

}  // namespace korv
