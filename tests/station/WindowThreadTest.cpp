#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

#include "runtime/Exception.h"
#include "station/window/WindowThread.h"

namespace korv::test {
namespace {

// Delivers the window thread's posted events until `done` is ready, at most
// 10 s. It takes them without the event loop's wake-up, whose file descriptor
// would order the threads for the thread checker: the hand-over must not
// depend on how the window's thread comes to its events.
template <class T>
bool ServeUntil(std::future<T>& done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (done.wait_for(std::chrono::microseconds(100)) != std::future_status::ready) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::sendPostedEvents();
  }
  return true;
}

TEST(WindowThreadTest, RunsAtOnceOnTheWindowThread) {
  QObject window;
  bool ran = false;
  WindowThread(&window).Run([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(WindowThreadTest, WorkFromAnotherThreadRunsOnTheWindowThreadWhileTheCallerWaits) {
  QObject window;
  QThread* ranOn = nullptr;
  std::atomic<bool> returned{false};
  WindowThread handOver(&window);
  auto done = std::async(std::launch::async, [&] {
    handOver.Run([&] {
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
  WindowThread handOver(&window);
  auto done = std::async(std::launch::async, [&] {
    handOver.Run([] { throw std::runtime_error("from the window thread"); });
  });
  ASSERT_TRUE(ServeUntil(done));
  EXPECT_THROW(done.get(), std::runtime_error);
}

TEST(WindowThreadTest, ClosingReleasesACallerStillWaiting) {
  QObject window;
  WindowThread handOver(&window);
  std::atomic<bool> ran{false};
  auto done = std::async(std::launch::async, [&] { handOver.Run([&] { ran = true; }); });
  // The window thread never serves the queued work: it is busy closing.
  ASSERT_EQ(done.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  handOver.Close();
  ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_THROW(done.get(), Exception);
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace korv::test
