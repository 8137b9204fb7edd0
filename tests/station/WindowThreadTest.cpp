#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

#include "station/WindowThread.h"

namespace korv::test {
namespace {

// Processes the window thread's events until `done` is ready, at most 10 s.
template <class T>
bool ServeUntil(std::future<T>& done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (done.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents();
  }
  return true;
}

TEST(WindowThreadTest, RunsAtOnceOnTheWindowThread) {
  QObject window;
  bool ran = false;
  RunOnWindowThread(&window, [&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(WindowThreadTest, WorkFromAnotherThreadRunsOnTheWindowThreadWhileTheCallerWaits) {
  QObject window;
  QThread* ranOn = nullptr;
  std::atomic<bool> returned{false};
  auto done = std::async(std::launch::async, [&] {
    RunOnWindowThread(&window, [&] {
      ranOn = QThread::currentThread();
      EXPECT_FALSE(returned.load());
    });
    returned = true;
  });
  ASSERT_TRUE(ServeUntil(done));
  EXPECT_EQ(ranOn, window.thread());
  EXPECT_TRUE(returned);
}

TEST(WindowThreadTest, AnErrorReachesTheCallingThread) {
  QObject window;
  auto done = std::async(std::launch::async, [&] {
    RunOnWindowThread(&window, [] { throw std::runtime_error("from the window thread"); });
  });
  ASSERT_TRUE(ServeUntil(done));
  EXPECT_THROW(done.get(), std::runtime_error);
}

}  // namespace
}  // namespace korv::test
