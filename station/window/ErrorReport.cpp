#include "station/window/ErrorReport.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include "runtime/Exception.h"

namespace korv {

namespace {

// The box belongs to a window of the program, so that it goes with it.
QWidget* BoxOwner() {
  if (QWidget* active = QApplication::activeWindow()) return active;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (!qobject_cast<QMessageBox*>(widget)) return widget;
  }
  return nullptr;
}

// A box that nobody closes must not stop the station: it is not modal and
// returns at once, and there is never more than one. An error while it is
// open replaces the message by the newest and says how many came.
void ShowMessageBox(const std::string& message) {
  static QPointer<QMessageBox> box;
  static int errors = 0;
  QString text = QString::fromStdString(message);
  if (box) {
    ++errors;
    box->setText(text);
    box->setInformativeText(QStringLiteral("%1 errors since this box opened; the newest is shown.").arg(errors));
    return;
  }
  errors = 1;
  box = new QMessageBox(QMessageBox::Critical, QStringLiteral("korv-cps"), text, QMessageBox::Ok, BoxOwner());
  box->setObjectName(QStringLiteral("ErrorBox"));
  box->setWindowModality(Qt::NonModal);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->show();
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
    Report(ErrorMessage(error));
  }
}

void HandlerRunner::Report(const std::string& message) {
  if (OnReport) OnReport(message);
  ReportError(message);
}

void HandlerRunner::Propagate() {
  if (Pending) std::rethrow_exception(std::exchange(Pending, nullptr));
}

}  // namespace korv
