#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "runtime/Exception.h"
#include "station/window/ErrorReport.h"

namespace korv::test {
namespace {

class ErrorReportTest : public ::testing::Test {
protected:
  ErrorReportTest() {
    Previous = SetErrorReporter([this](const std::string& message) { Reported.push_back(message); });
  }
  ~ErrorReportTest() override { SetErrorReporter(Previous); }

  std::vector<std::string> Reported;
  HandlerRunner Handlers;
  ErrorReporter Previous;
};

TEST_F(ErrorReportTest, AFailingHandlerIsReportedAndTheProgramGoesOn) {
  Handlers.Run([] { throw EInOutError("Cannot write max.ser: No space left on device"); });
  Handlers.Run([] { throw std::runtime_error("plain"); });
  Handlers.Run([] { throw 42; });
  bool ran = false;
  Handlers.Run([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_EQ(Reported, (std::vector<std::string>{"Cannot write max.ser: No space left on device", "plain",
                                                "Unknown error"}));
}

TEST_F(ErrorReportTest, ANestedHandlersErrorEndsTheOuterHandlerAndIsReportedOnce) {
  std::vector<std::string> steps;
  Handlers.Run([&] {
    steps.push_back("outer");
    Handlers.Run([&] { throw Exception("Camera already connected."); });  // as a toolkit signal would
    steps.push_back("after change");
    Handlers.Propagate();
    steps.push_back("not reached");
  });
  EXPECT_EQ(steps, (std::vector<std::string>{"outer", "after change"}));
  EXPECT_EQ(Reported, std::vector<std::string>{"Camera already connected."});
}

TEST_F(ErrorReportTest, ANestedErrorNobodyPropagatesIsStillReported) {
  Handlers.Run([&] { Handlers.Run([] { throw Exception("lost?"); }); });
  EXPECT_EQ(Reported, std::vector<std::string>{"lost?"});
  Handlers.Propagate();  // nothing left over
}

}  // namespace
}  // namespace korv::test
