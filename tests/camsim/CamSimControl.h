// Test access to the control entries of the simulated camera libraries
// (camsim/README.md), for any test that drives the camera side.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korv::test {

// Scenario lines that fix the sky a simulated camera photographs (a winter
// night, partly clouded); without them a picture's content and size follow
// the clock. Put them after the "camera" line of every test that looks at
// what a picture holds.
inline constexpr const char* FixedSky = "time 22:30\ndate 12-21\nclouds 40\n";

struct LoggedCall {
  std::string Entry;
  std::vector<uint64_t> Args;
};

class SimulatedLibrary {
public:
  // Loads the library through the program's loader (LoadCDSDK, ...), so the
  // test works on the very library the camera side uses.
  static SimulatedLibrary& CD();
  static SimulatedLibrary& PR();
  static SimulatedLibrary& RC();

  // Default scenario, no handles, empty log, no failures.
  void Reset();
  // Replaces the scenario; a text the library can't read fails the test's
  // assumption with std::runtime_error naming the line.
  void LoadScenario(const std::string& text);
  void FailNext(const std::string& entry, uint32_t count, uint32_t status);
  // Call number `call` from now, of any entry, answers `status` (0: none);
  // returns how many calls were still to go before the one armed earlier
  // (0: it struck, or none was armed).
  uint32_t FailCall(uint32_t call, uint32_t status);
  // Sources or camera objects and enumerations the program holds open.
  uint32_t OpenHandles();
  std::vector<LoggedCall> Log() const;
  // The calls of one entry, in order.
  std::vector<LoggedCall> Calls(const std::string& entry) const;
  void ClearLog();
  // Waits for background events; false when `timeoutMs` passed first.
  bool WaitIdle(uint32_t timeoutMs = 10000);
  // CD only: events as the camera would send them.
  void RaiseCameraEvent(uint32_t event, uint32_t word);
  void RaiseReleaseEvent(uint32_t event, uint32_t word0, uint32_t word1);
  // PR only: an event record with this code and parameter.
  void RaisePREvent(uint32_t code, uint32_t parameter);

private:
  explicit SimulatedLibrary(void* handle);
  template <class F>
  F* Bind(const char* name) const;

  void* Handle;
};

}  // namespace korv::test
