// Hands work to the thread that owns a window object and waits until it has
// run there: the camera libraries may call back on a thread of their own,
// and the window's controls may only be touched on its own thread.
#pragma once

#include <functional>

class QObject;

namespace korv {

// Runs `work` on the thread of `window`: at once when called there, else
// queued to that thread while the caller blocks until it is done. An error
// of `work` reaches the caller either way.
void RunOnWindowThread(QObject* window, const std::function<void()>& work);

}  // namespace korv
