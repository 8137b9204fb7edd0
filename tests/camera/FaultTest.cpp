// The component against the simulated libraries when things go wrong: a
// library call failing at any point, two components side by side, a
// component destroyed while a library thread is inside its callback, and a
// camera that goes away and comes back.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "camera/Obturo.h"
#include "camera/sdk/CamErrors.h"
#include "runtime/Clock.h"
#include "tests/camera/RaisedMessage.h"
#include "tests/camsim/CamSimControl.h"

namespace korv {
namespace {

using test::MessageOf;
using test::SimulatedLibrary;

// Progress pauses are the library's pacing only; tests need not wait them out.
class NoPauseClock : public Clock {
public:
  LocalTime Now() override { return {}; }
  void Sleep(uint32_t) override {}
};

class FaultTest : public ::testing::Test {
protected:
  void SetUp() override { previousClock = SetClock(&clock); }
  void TearDown() override {
    for (auto* library : {&SimulatedLibrary::CD(), &SimulatedLibrary::PR(), &SimulatedLibrary::RC()}) {
      library->WaitIdle();
      library->Reset();
    }
    SetClock(previousClock);
  }
  // Attaches the scenario's cameras, each library only its own.
  static void Attach(const std::string& cd, const std::string& pr = "", const std::string& rc = "") {
    SimulatedLibrary::CD().LoadScenario(cd);
    SimulatedLibrary::PR().LoadScenario(pr);
    SimulatedLibrary::RC().LoadScenario(rc);
  }
  static std::string CDCamera(const std::string& lines = "") { return "camera CD\n" + std::string(test::FixedSky) + lines; }

  NoPauseClock clock;
  Clock* previousClock = nullptr;
};

// ---- Every failure point of an operation is followed by a working retry ----

struct FailingStep {
  const char* Library;                        // whose calls are counted
  const char* Operation;                      // Connect, EnterRemoteMode or TakePicture
  CameraKind Kind;
};

TEST_F(FaultTest, EveryFailingCallOfAnOperationLeavesNothingOpenAndARetryWorks) {
  const FailingStep steps[] = {
      {"CD", "Connect", CameraKindPowerShot},     {"CD", "EnterRemoteMode", CameraKindPowerShot},
      {"CD", "TakePicture", CameraKindPowerShot}, {"PR", "Connect", CameraKindPowerShot},
      {"PR", "EnterRemoteMode", CameraKindPowerShot}, {"PR", "TakePicture", CameraKindPowerShot},
      {"RC", "Connect", CameraKindEOS},           {"RC", "EnterRemoteMode", CameraKindEOS},
      {"RC", "TakePicture", CameraKindEOS},
  };
  for (const FailingStep& step : steps) {
    SCOPED_TRACE(std::string(step.Library) + " " + step.Operation);
    const std::string tag = step.Library;
    SimulatedLibrary& library = tag == "CD" ? SimulatedLibrary::CD() : tag == "PR" ? SimulatedLibrary::PR()
                                                                                   : SimulatedLibrary::RC();
    const std::string camera = "camera " + tag + "\n" + test::FixedSky + (tag == "RC" ? "model EOS 10D\n" : "");
    const std::string operation = step.Operation;
    bool done = false;
    int failures = 0;
    for (uint32_t n = 1; !done && n < 200; ++n) {
      SCOPED_TRACE("failing call " + std::to_string(n));
      Attach(tag == "CD" ? camera : "", tag == "PR" ? camera : "", tag == "RC" ? camera : "");
      TObturo obturo;
      obturo.EnumerateCameras();
      auto run = [&](const std::string& name) {
        if (name == "Connect") obturo.Connect(step.Kind, 0);
        else if (name == "EnterRemoteMode") obturo.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false);
        else obturo.TakePicture();
      };
      for (const std::string before : {"Connect", "EnterRemoteMode"}) {
        if (before == operation) break;
        run(before);
      }
      const uint32_t open = library.OpenHandles();
      library.FailCall(n, 0x81);
      const std::string failure = MessageOf([&] { run(operation); });
      const bool struck = library.FailCall(0, 0) == 0;
      if (failure == "<nothing raised>") {
        done = !struck;  // the operation ended before call n
        continue;
      }
      ++failures;
      EXPECT_EQ(library.OpenHandles(), open) << failure;
      EXPECT_EQ(MessageOf([&] { run(operation); }), "<nothing raised>") << "after: " << failure;
    }
    EXPECT_TRUE(done);
    EXPECT_GT(failures, 0);
  }
}

// ---- Components side by side and their lifetime ------------------------------

TEST_F(FaultTest, TwoComponentsEachReceiveOnlyTheirOwnCamerasEvents) {
  Attach(CDCamera("name first\n") + CDCamera("name second\n"));
  TObturo first, second;
  int firstEvents = 0, secondEvents = 0;
  first.OnRemoteEvent = [&](RemoteEventCallbackType, AdditionNotifyRemoteEventType) { ++firstEvents; };
  second.OnRemoteEvent = [&](RemoteEventCallbackType, AdditionNotifyRemoteEventType) { ++secondEvents; };
  first.EnumerateCameras();
  first.Connect(CameraKindPowerShot, 0);
  second.Connect(CameraKindPowerShot, 1);
  ASSERT_NE(first.RegistryIndex(), second.RegistryIndex());
  first.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false);
  second.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false);
  first.TakePicture();
  EXPECT_EQ(firstEvents, 2);  // release start and complete
  EXPECT_EQ(secondEvents, 0);
  second.TakePicture();
  EXPECT_EQ(firstEvents, 2);
  EXPECT_EQ(secondEvents, 2);
}

TEST_F(FaultTest, DestructionWaitsForACallbackInFlightAndNoneStartsAfterIt) {
  Attach(CDCamera("events thread\n"));
  auto obturo = std::make_unique<TObturo>();
  std::atomic<bool> entered = false, left = false;
  std::atomic<int> calls = 0;
  obturo->OnRemoteEvent = [&, component = obturo.get()](RemoteEventCallbackType, AdditionNotifyRemoteEventType) {
    if (++calls > 1) return;
    entered = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(component->ReleaseMode(), ReleaseModeOnlyToPC);  // still alive
    left = true;
  };
  obturo->EnumerateCameras();
  obturo->Connect(CameraKindPowerShot, 0);
  obturo->EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false);
  obturo->TakePicture();
  for (int i = 0; i < 500 && !entered; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(entered);
  obturo.reset();
  EXPECT_TRUE(left) << "destroyed while its callback ran";
  ASSERT_TRUE(SimulatedLibrary::CD().WaitIdle());
  EXPECT_EQ(calls, 1) << "the release-complete event reached a component being destroyed";
}

TEST_F(FaultTest, AHandlerReplacedWhileTheLibraryThreadRaisesItIsSafe) {
  Attach(CDCamera("events thread\n"));
  TObturo obturo;
  std::atomic<int> events = 0;
  obturo.EnumerateCameras();
  obturo.Connect(CameraKindPowerShot, 0);
  obturo.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false);
  for (int i = 0; i < 5; ++i) {
    obturo.TakePicture();
    for (int k = 0; k < 50; ++k) {
      obturo.OnRemoteEvent = [&](RemoteEventCallbackType, AdditionNotifyRemoteEventType) { ++events; };
      obturo.OnRemoteEvent = nullptr;
    }
  }
  ASSERT_TRUE(SimulatedLibrary::CD().WaitIdle());
}

// ---- Enumeration --------------------------------------------------------------

TEST_F(FaultTest, AnEnumerationFailingPartWayKeepsTheLastListsAndReleasesItsHandle) {
  Attach(CDCamera("name first\n") + CDCamera("name second\n"));
  TObturo obturo;
  const TCameraLists lists = obturo.EnumerateCameras();
  SimulatedLibrary::CD().LoadScenario(CDCamera("name third\n") + CDCamera("name fourth\n") +
                                      "fail CDEnumDeviceNext 1 0x81 after 1\n");
  EXPECT_EQ(MessageOf([&] { obturo.EnumerateCameras(); }), "CDEnumDeviceNext errorcode 0x00000081, Device busy");
  EXPECT_EQ(*lists.PowerShotNames, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(CDDeviceList().size(), 2u);
  EXPECT_EQ(SimulatedLibrary::CD().OpenHandles(), 0u);
}

// ---- Faults from the scenario -------------------------------------------------

TEST_F(FaultTest, AScenarioFailsTheChosenCallsOfAnEntry) {
  Attach(CDCamera() + "fail CDRelease 2 0x00000081 after 1\n");
  TObturo obturo;
  obturo.EnumerateCameras();
  obturo.Connect(CameraKindPowerShot, 0);
  obturo.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false);
  EXPECT_EQ(MessageOf([&] { obturo.TakePicture(); }), "<nothing raised>");
  EXPECT_EQ(MessageOf([&] { obturo.TakePicture(); }), "CDRelease errorcode 0x00000081, Device busy");
  EXPECT_EQ(MessageOf([&] { obturo.TakePicture(); }), "CDRelease errorcode 0x00000081, Device busy");
  EXPECT_EQ(MessageOf([&] { obturo.TakePicture(); }), "<nothing raised>");
}

TEST_F(FaultTest, ACameraThatWentAwayIsConnectedAgainOnceItIsBack) {
  Attach(CDCamera("unplug after 1 for 2\n"));  // long enough for a slow machine to see it gone
  TObturo obturo;
  obturo.EnumerateCameras();
  obturo.Connect(CameraKindPowerShot, 0);
  obturo.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false);
  EXPECT_EQ(obturo.TakePicture(), 1u);
  EXPECT_EQ(MessageOf([&] { obturo.TakePicture(); }), "CDRelease errorcode 0x00000080, Device not found");
  EXPECT_EQ(obturo.ConnectInfo().Kind, CameraKindNone) << "the component forgot the camera";
  EXPECT_EQ(SimulatedLibrary::CD().Calls("CDCloseSource").size(), 1u) << "and closed its source";
  EXPECT_TRUE(obturo.EnumerateCameras().PowerShotNames->empty()) << "gone from the device list";

  bool back = false;
  for (int i = 0; i < 200 && !back; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    back = !obturo.EnumerateCameras().PowerShotNames->empty();
  }
  ASSERT_TRUE(back);
  EXPECT_EQ(obturo.Connect(CameraKindPowerShot, 0).Kind, CameraKindPowerShot);
  obturo.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false);
  EXPECT_EQ(obturo.TakePicture(), 1u);
}

}  // namespace
}  // namespace korv
