#include "tests/camsim/CamSimControl.h"

#include <dlfcn.h>

#include <cstring>
#include <sstream>
#include <stdexcept>

#include "camera/sdk/CDAPI.h"
#include "camera/sdk/PRAPI.h"
#include "camera/sdk/RCAPI.h"
#include "camsim/Control.h"

namespace korv::test {

SimulatedLibrary::SimulatedLibrary(void* handle) : Handle(handle) {
  if (handle == nullptr) throw std::runtime_error("simulated library not loaded");
}

SimulatedLibrary& SimulatedLibrary::CD() {
  static SimulatedLibrary library = (LoadCDSDK(), SimulatedLibrary(CDSDKLibrary().handle()));
  return library;
}
SimulatedLibrary& SimulatedLibrary::PR() {
  static SimulatedLibrary library = (LoadPRSDK(), SimulatedLibrary(PRSDKLibrary().handle()));
  return library;
}
SimulatedLibrary& SimulatedLibrary::RC() {
  static SimulatedLibrary library = (LoadRCSDK(), SimulatedLibrary(RCSDKLibrary().handle()));
  return library;
}

template <class F>
F* SimulatedLibrary::Bind(const char* name) const {
  void* symbol = dlsym(Handle, name);
  if (symbol == nullptr) throw std::runtime_error(std::string("control entry missing: ") + name);
  F* function = nullptr;
  std::memcpy(&function, &symbol, sizeof function);
  return function;
}

void SimulatedLibrary::Reset() { Bind<camsim::TCamSimReset>("CamSimReset")(); }

void SimulatedLibrary::LoadScenario(const std::string& text) {
  if (uint32_t line = Bind<camsim::TCamSimLoadScenario>("CamSimLoadScenario")(text.c_str()))
    throw std::runtime_error("scenario line " + std::to_string(line) + " not understood");
}

void SimulatedLibrary::FailNext(const std::string& entry, uint32_t count, uint32_t status) {
  Bind<camsim::TCamSimFailNext>("CamSimFailNext")(entry.c_str(), count, status);
}

uint32_t SimulatedLibrary::FailCall(uint32_t call, uint32_t status) {
  return Bind<camsim::TCamSimFailCall>("CamSimFailCall")(call, status);
}

uint32_t SimulatedLibrary::OpenHandles() { return Bind<camsim::TCamSimOpenHandles>("CamSimOpenHandles")(); }

std::vector<LoggedCall> SimulatedLibrary::Log() const {
  auto read = Bind<camsim::TCamSimReadLog>("CamSimReadLog");
  std::string text(read(nullptr, 0) + 1, '\0');
  text.resize(read(text.data(), static_cast<uint32_t>(text.size())));
  std::vector<LoggedCall> calls;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    LoggedCall call;
    words >> call.Entry;
    for (uint64_t arg; words >> arg;) call.Args.push_back(arg);
    calls.push_back(call);
  }
  return calls;
}

std::vector<LoggedCall> SimulatedLibrary::Calls(const std::string& entry) const {
  std::vector<LoggedCall> calls;
  for (auto& call : Log())
    if (call.Entry == entry) calls.push_back(call);
  return calls;
}

void SimulatedLibrary::ClearLog() { Bind<camsim::TCamSimClearLog>("CamSimClearLog")(); }

bool SimulatedLibrary::WaitIdle(uint32_t timeoutMs) {
  return Bind<camsim::TCamSimWaitIdle>("CamSimWaitIdle")(timeoutMs) == 0;
}

void SimulatedLibrary::RaiseCameraEvent(uint32_t event, uint32_t word) {
  Bind<camsim::TCamSimRaiseCameraEvent>("CamSimRaiseCameraEvent")(event, word);
}

void SimulatedLibrary::RaiseReleaseEvent(uint32_t event, uint32_t word0, uint32_t word1) {
  Bind<camsim::TCamSimRaiseReleaseEvent>("CamSimRaiseReleaseEvent")(event, word0, word1);
}

void SimulatedLibrary::RaisePREvent(uint32_t code, uint32_t parameter) {
  Bind<camsim::TCamSimRaisePREvent>("CamSimRaisePREvent")(code, parameter);
}

}  // namespace korv::test
