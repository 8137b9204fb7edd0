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
  WindowThread(&window).Run([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(WindowThreadTest, WorkFromAnotherThreadRunsOnTheWindowThreadWhileTheCallerWaits) {
  QObject window;
  QThread* ranOn = nullptr;
  std::atomic<bool> returned{false};
  auto done = std::async(std::launch::async, [&] {
    WindowThread(&window).Run([&] {
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
    WindowThread(&window).Run([] { throw std::runtime_error("from the window thread"); });
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
