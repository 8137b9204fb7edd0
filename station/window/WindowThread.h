// Hands work to the thread that owns a window object and waits until it has
// run there: the camera libraries may call back on a thread of their own,
// and the window's controls may only be touched on its own thread.
#pragma once

#include <functional>
#include <memory>

class QObject;

namespace korv {

class WindowThread {
public:
  // Made and destroyed on the window's thread.
  explicit WindowThread(QObject* window);
  ~WindowThread();
  WindowThread(const WindowThread&) = delete;
  WindowThread& operator=(const WindowThread&) = delete;

  // Runs `work` on the thread of the window: at once when called there, else
  // queued to that thread while the caller blocks until it is done. An error
  // of `work` reaches the caller either way. Once Close was called, work
  // still waiting is dropped and its caller gets an error instead.
  void Run(const std::function<void()>& work) const;

  // The window is going (called on its thread): no waiting caller is left
  // hanging on it, so a library thread inside a callback can finish and the
  // camera component's destruction, which waits for it, can end.
  void Close();

  struct Shared;

private:
  std::shared_ptr<Shared> State;
  std::unique_ptr<QObject> WakeUp;  // receives, on the window's thread, a call's wake-up
};

}  // namespace korv
