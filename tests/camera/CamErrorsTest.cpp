#include "camera/sdk/CamErrors.h"

#include <gtest/gtest.h>

#include <string>

namespace korv {
namespace {

std::string MessageOf(std::string_view name, uint32_t status, ErrorTextFunction text = CDErrorText) {
  try {
    CheckResult(name, status, text);
  } catch (const ECamException& e) {
    return e.what();
  }
  return "<nothing raised>";
}

TEST(CheckResultTest, ZeroStatusRaisesNothing) {
  EXPECT_NO_THROW(CheckResult("CDRelease", 0));
  EXPECT_NO_THROW(CheckResult("PR_RC_Release", 0, PRErrorText));
}

TEST(CheckResultTest, MessageCarriesAllBitsAndTheLowWordText) {
  EXPECT_EQ(MessageOf("CDOpenSource", 0x04000081), "CDOpenSource errorcode 0x04000081, Device busy");
  EXPECT_EQ(MessageOf("CDOpenSource", 0x81), "CDOpenSource errorcode 0x00000081, Device busy");
  EXPECT_EQ(MessageOf("PR_ConnectCamera", 0x201D, PRErrorText),
            "PR_ConnectCamera errorcode 0x0000201D, Invalid parameter");
  EXPECT_EQ(MessageOf("CDRelease", 0xFFFFFFFF), "CDRelease errorcode 0xFFFFFFFF, Unkown error");
}

TEST(CheckResultTest, RaisesTheCameraExceptionClass) {
  EXPECT_THROW(CheckResult("CDRelease", 1), ECamException);
  EXPECT_THROW(CheckResult("CDRelease", 1), Exception);
}

struct TextCase {
  ErrorTextFunction Text;
  uint32_t Code;
  const char* Expected;
};

TEST(ErrorTextTest, GivesTheTableText) {
  const TextCase cases[] = {TextCase{CDErrorText, 0x01, "Unimplemented"}, TextCase{CDErrorText, 0x0A, "Mission subcomponent"},
                      TextCase{CDErrorText, 0x0B, "Selection unavailable"}, TextCase{CDErrorText, 0x0C, "Unkown error"},
                      TextCase{CDErrorText, 0x2E, "File naming not applicable"},
                      TextCase{CDErrorText, 0x51, "Properties mismatch"}, TextCase{CDErrorText, 0x52, "Unkown error"},
                      TextCase{CDErrorText, 0x53, "Properties not loaded"},
                      TextCase{CDErrorText, 0x89, "Device CompactFlash gate changed"},
                      TextCase{CDErrorText, 0xAC, "Stream end of stream"},
                      TextCase{CDErrorText, 0xD1, "USB device unlock error"},
                      TextCase{CDErrorText, 0xF4, "Wait timeout error"}, TextCase{CDErrorText, 0x00, "Unkown error"},
                      TextCase{CDErrorText, 0x12340081, "Device busy"},
                      TextCase{PRErrorText, 0x000A, "Mission subcomponent"},
                      TextCase{PRErrorText, 0x0022, "Invalid handle"},
                      TextCase{PRErrorText, 0x0064, "Event callback exists"}, TextCase{PRErrorText, 0x2000, "Undefined"},
                      TextCase{PRErrorText, 0x2001, "Unkown error"}, TextCase{PRErrorText, 0x2003, "Session not ppen"},
                      TextCase{PRErrorText, 0x201D, "Invalid parameter"},
                      TextCase{PRErrorText, 0x2020, "Specification of destination unsupported"},
                      TextCase{PRErrorText, 0xA002, "Extension memoey allocation failed"},
                      TextCase{PRErrorText, 0xA00A, "Extension already exit"},
                      TextCase{PRErrorText, 0x0081, "Unkown error"}};
  for (const TextCase& c : cases) {
    SCOPED_TRACE(std::string(c.Text == CDErrorText ? "CD" : "PR") + " code " + std::to_string(c.Code));
    EXPECT_EQ(c.Text(c.Code), c.Expected);
  }
}

// Every code of the 16-bit space has some text, and the table sizes hold.
TEST(ErrorTextTest, TablesHaveTheirSizes) {
  int cd = 0, pr = 0;
  for (uint32_t code = 0; code <= 0xFFFF; ++code) {
    cd += CDErrorText(code) != "Unkown error";
    pr += PRErrorText(code) != "Unkown error";
  }
  EXPECT_EQ(cd, 85);
  EXPECT_EQ(pr, 61);  // the PR library's 60 and the USB library's own
}

}  // namespace
}  // namespace korv
