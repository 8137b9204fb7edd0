#include "station/window/WindowThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>

#include "runtime/Exception.h"

namespace korv {

namespace {

struct Call {
  std::function<void()> Work;
  std::exception_ptr Error;
  bool Done = false;
};

}  // namespace

// The work passes between the threads through this lock alone, never through
// Qt's event queue: Qt's own locking is out of the thread checkers' sight, so
// anything a posted event carried would look unsynchronised to them.
struct WindowThread::Shared {
  std::mutex Lock;
  std::condition_variable Changed;
  std::deque<std::shared_ptr<Call>> Waiting;
  bool Closed = false;
};

namespace {

// Runs the queued work, one call at a time, the lock free while one runs.
void RunWaiting(WindowThread::Shared& shared) {
  for (;;) {
    std::shared_ptr<Call> call;
    {
      std::lock_guard guard(shared.Lock);
      if (shared.Closed || shared.Waiting.empty()) return;
      call = std::move(shared.Waiting.front());
      shared.Waiting.pop_front();
    }
    std::exception_ptr error;
    try {
      call->Work();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard guard(shared.Lock);
    call->Error = error;
    call->Done = true;
    shared.Changed.notify_all();
  }
}

// The wake-up's event carries nothing and is never looked at.
class Mailbox final : public QObject {
public:
  explicit Mailbox(WindowThread::Shared& shared) : Queue(shared) {}

protected:
  void customEvent(QEvent*) override { RunWaiting(Queue); }

private:
  WindowThread::Shared& Queue;
};

}  // namespace

WindowThread::WindowThread(QObject* window)
    : State(std::make_shared<Shared>()), WakeUp(std::make_unique<Mailbox>(*State)) {
  WakeUp->moveToThread(window->thread());
}

WindowThread::~WindowThread() { Close(); }

void WindowThread::Run(const std::function<void()>& work) const {
  if (QThread::currentThread() == WakeUp->thread()) {
    work();
    return;
  }
  auto call = std::make_shared<Call>();
  call->Work = work;
  std::shared_ptr<Shared> shared = State;  // the waiter may outlive this object
  std::unique_lock lock(shared->Lock);
  if (!shared->Closed) {
    shared->Waiting.push_back(call);
    // Posted under the lock: the mailbox goes only after Close, which takes it.
    QCoreApplication::postEvent(WakeUp.get(), new QEvent(QEvent::User));
    shared->Changed.wait(lock, [&] { return call->Done || shared->Closed; });
  }
  if (!call->Done) throw Exception("The window closed before it could take the camera's event");
  if (call->Error) std::rethrow_exception(call->Error);
}

void WindowThread::Close() {
  std::lock_guard guard(State->Lock);
  State->Closed = true;
  State->Waiting.clear();
  State->Changed.notify_all();
}

}  // namespace korv
