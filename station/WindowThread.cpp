#include "station/WindowThread.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <exception>

namespace korv {

void RunOnWindowThread(QObject* window, const std::function<void()>& work) {
  if (QThread::currentThread() == window->thread()) {
    work();
    return;
  }
  std::exception_ptr error;
  QMetaObject::invokeMethod(
      window,
      [&] {
        try {
          work();
        } catch (...) {
          error = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  if (error) std::rethrow_exception(error);
}

}  // namespace korv
