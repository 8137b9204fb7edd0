#include <gtest/gtest.h>

#include "runtime/Convert.h"
#include "runtime/Exception.h"

namespace korv {

TEST(Convert, StrToIntAcceptsDecimalText) {
  struct Case {
    const char* text;
    int32_t value;
  } cases[] = {{"5", 5}, {"0001", 1}, {"200", 200}, {" 42 ", 42}, {"-7", -7}, {"+8", 8}, {"2147483647", 2147483647}};
  for (const auto& c : cases) EXPECT_EQ(StrToInt(c.text), c.value) << c.text;
}

TEST(Convert, StrToIntRejectsWhatIsNoNumber) {
  for (const char* text : {"", "  ", "abc", "12a", "1 2", "--1", "+-1", "++1", "2147483648", "0x10", "+"}) {
    EXPECT_THROW(StrToInt(text), EConvertError) << text;
    EXPECT_EQ(StrToIntDef(text, -3), -3) << text;
  }
  try {
    StrToInt("x1");
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'x1' is not a valid integer value");
  }
}

TEST(Convert, IntToHexPadsWithUpperCaseDigits) {
  EXPECT_EQ(IntToHex(0x4000081, 8), "04000081");
  EXPECT_EQ(IntToHex(0xFFFFFFFF, 8), "FFFFFFFF");
  EXPECT_EQ(IntToHex(0xabc, 1), "ABC");
  EXPECT_EQ(IntToHex(0, 2), "00");
}

TEST(Convert, AssertionMessageNamesUnitAndLine) {
  EXPECT_STREQ(EAssertionFailed::At("CDAPI", 331).what(), "Assertion failure (CDAPI, line 331)");
}

}  // namespace korv
