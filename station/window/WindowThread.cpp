#include "station/window/WindowThread.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <condition_variable>
#include <exception>
#include <mutex>

#include "runtime/Exception.h"

namespace korv {

struct WindowThread::Shared {
  std::mutex Lock;
  std::condition_variable Changed;
  bool Closed = false;
};

namespace {

struct Call {
  std::function<void()> Work;
  std::exception_ptr Error;
  bool Done = false;
};

}  // namespace

WindowThread::WindowThread(QObject* window) : Window(window), State(std::make_shared<Shared>()) {}

void WindowThread::Run(const std::function<void()>& work) const {
  if (QThread::currentThread() == Window->thread()) {
    work();
    return;
  }
  // The caller waits on a lock and condition of its own rather than on Qt's
  // blocking connection: Close can release it, and the hand-over is one the
  // thread checkers can see.
  auto call = std::make_shared<Call>();
  call->Work = work;
  std::shared_ptr<Shared> shared = State;
  QMetaObject::invokeMethod(
      Window,
      [shared, call] {
        {
          std::lock_guard guard(shared->Lock);
          if (shared->Closed) return;
        }
        std::exception_ptr error;
        try {
          call->Work();
        } catch (...) {
          error = std::current_exception();
        }
        std::lock_guard guard(shared->Lock);
        call->Error = error;
        call->Done = true;
        shared->Changed.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(shared->Lock);
  shared->Changed.wait(lock, [&] { return call->Done || shared->Closed; });
  if (!call->Done) throw Exception("The window closed before it could take the camera's event");
  if (call->Error) std::rethrow_exception(call->Error);
}

void WindowThread::Close() {
  std::lock_guard guard(State->Lock);
  State->Closed = true;
  State->Changed.notify_all();
}

}  // namespace korv
