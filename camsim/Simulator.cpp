#include "camsim/Simulator.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <thread>

#include "camsim/Control.h"

namespace korv::camsim {

namespace {

// Delivers posted events in order on one thread of its own.
class EventThread {
public:
  ~EventThread() {
    {
      std::lock_guard lock(Mutex);
      Stopping = true;
    }
    Changed.notify_all();
    if (Worker.joinable()) Worker.join();
  }

  void Post(std::function<void()> event) {
    std::lock_guard lock(Mutex);
    Queue.push_back(std::move(event));
    if (!Worker.joinable()) Worker = std::thread([this] { Run(); });
    Changed.notify_all();
  }

  bool WaitIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(Mutex);
    return Changed.wait_for(lock, timeout, [this] { return Queue.empty() && !Busy; });
  }

private:
  void Run() {
    std::unique_lock lock(Mutex);
    for (;;) {
      Changed.wait(lock, [this] { return Stopping || !Queue.empty(); });
      if (Queue.empty()) return;
      auto event = std::move(Queue.front());
      Queue.pop_front();
      Busy = true;
      lock.unlock();
      event();
      lock.lock();
      Busy = false;
      Changed.notify_all();
    }
  }

  std::mutex Mutex;
  std::condition_variable Changed;
  std::deque<std::function<void()>> Queue;
  bool Busy = false;
  bool Stopping = false;
  std::thread Worker;
};

constexpr size_t LogLimit = 4 << 20;

// Calls of one entry to let pass, then calls to fail with Status.
struct Failure {
  uint32_t After = 0;
  uint32_t Count = 0;
  TSDKStatus Status = 0;
};

struct State {
  State() { InstallFailures(); }
  // The scenario's "fail" lines, from scratch.
  void InstallFailures() {
    Failures.clear();
    for (const InjectedFailure& failure : Current.Failures)
      Failures[failure.Entry] = {failure.After, failure.Count, failure.Status};
    CallsBeforeFailure = 0;
  }

  std::mutex Mutex;  // the library's state lock (LockState)
  Scenario Current = DefaultScenario();
  bool LibraryStateReady = false;
  std::mutex LogMutex;  // the log and the failures, never held across calls
  std::string Log;
  std::map<std::string, Failure, std::less<>> Failures;
  uint32_t CallsBeforeFailure = 0;  // the call that many calls from now fails, whatever its entry
  TSDKStatus CountedStatus = 0;
  EventThread Events;  // last member: stops before the rest goes
};

State& Sim() {
  static State state;
  return state;
}

void ResetTo(Scenario scenario) {
  Sim().Events.WaitIdle(std::chrono::seconds(10));
  auto lock = LockState();
  Sim().Current = std::move(scenario);
  ResetLibraryState(Sim().Current);
  std::lock_guard logLock(Sim().LogMutex);
  Sim().Log.clear();
  Sim().InstallFailures();
}

}  // namespace

std::unique_lock<std::mutex> LockState() {
  std::unique_lock lock(Sim().Mutex);
  if (!Sim().LibraryStateReady) {
    Sim().LibraryStateReady = true;
    ResetLibraryState(Sim().Current);
  }
  return lock;
}

const Scenario& CurrentScenario() { return Sim().Current; }

TSDKStatus EnterWords(const char* entry, std::initializer_list<uint64_t> args) {
  std::lock_guard lock(Sim().LogMutex);
  std::string& log = Sim().Log;
  log += entry;
  for (uint64_t arg : args) log += ' ' + std::to_string(arg);
  log += '\n';
  // A station left running for weeks must not grow without end: past the
  // limit the older half of the log goes.
  if (log.size() > LogLimit) log.erase(0, log.find('\n', log.size() / 2) + 1);
  if (Sim().CallsBeforeFailure > 0 && --Sim().CallsBeforeFailure == 0) return Sim().CountedStatus;
  auto failure = Sim().Failures.find(std::string_view(entry));
  if (failure == Sim().Failures.end()) return SDKOk;
  if (failure->second.After > 0) {
    --failure->second.After;
    return SDKOk;
  }
  TSDKStatus status = failure->second.Status;
  if (--failure->second.Count == 0) Sim().Failures.erase(failure);
  return status;
}

TSDKStatus Unhandled(const char* entry) {
  TSDKStatus failure = EnterWords(entry, {});
  return failure != SDKOk ? failure : SDKUnimplemented;
}

void Post(std::function<void()> event) { Sim().Events.Post(std::move(event)); }

}  // namespace korv::camsim

using namespace korv::camsim;

extern "C" {

CAMSIM_EXPORT uint32_t CamSimReset() {
  ResetTo(DefaultScenario());
  return 0;
}

CAMSIM_EXPORT uint32_t CamSimLoadScenario(const char* text) {
  if (text == nullptr) return 1;
  Scenario scenario;
  std::string error;
  if (uint32_t line = ParseScenario(text, scenario, error)) return line;
  ResetTo(std::move(scenario));
  return 0;
}

CAMSIM_EXPORT uint32_t CamSimFailNext(const char* entry, uint32_t count, uint32_t status) {
  if (entry == nullptr) return 1;
  std::lock_guard lock(Sim().LogMutex);
  if (count == 0) Sim().Failures.erase(std::string(entry));
  else Sim().Failures[entry] = {0, count, status};
  return 0;
}

CAMSIM_EXPORT uint32_t CamSimFailCall(uint32_t call, uint32_t status) {
  std::lock_guard lock(Sim().LogMutex);
  const uint32_t pending = Sim().CallsBeforeFailure;
  Sim().CallsBeforeFailure = call;
  Sim().CountedStatus = status;
  return pending;
}

CAMSIM_EXPORT uint32_t CamSimOpenHandles() {
  auto lock = LockState();
  return OpenHandles();
}

CAMSIM_EXPORT uint32_t CamSimReadLog(char* buffer, uint32_t size) {
  std::lock_guard lock(Sim().LogMutex);
  const std::string& log = Sim().Log;
  if (buffer != nullptr && size > 0) {
    size_t n = std::min<size_t>(log.size(), size - 1);
    std::memcpy(buffer, log.data(), n);
    buffer[n] = '\0';
  }
  return static_cast<uint32_t>(log.size());
}

CAMSIM_EXPORT uint32_t CamSimClearLog() {
  std::lock_guard lock(Sim().LogMutex);
  Sim().Log.clear();
  return 0;
}

CAMSIM_EXPORT uint32_t CamSimWaitIdle(uint32_t timeoutMs) {
  return Sim().Events.WaitIdle(std::chrono::milliseconds(timeoutMs)) ? 0 : 1;
}

}  // extern "C"

// The control entries and the library's own entries must agree on types.
static_assert(std::is_same_v<decltype(CamSimReset), TCamSimReset>);
static_assert(std::is_same_v<decltype(CamSimLoadScenario), TCamSimLoadScenario>);
static_assert(std::is_same_v<decltype(CamSimFailNext), TCamSimFailNext>);
static_assert(std::is_same_v<decltype(CamSimReadLog), TCamSimReadLog>);
static_assert(std::is_same_v<decltype(CamSimFailCall), TCamSimFailCall>);
static_assert(std::is_same_v<decltype(CamSimOpenHandles), TCamSimOpenHandles>);
static_assert(std::is_same_v<decltype(CamSimClearLog), TCamSimClearLog>);
static_assert(std::is_same_v<decltype(CamSimWaitIdle), TCamSimWaitIdle>);
