#include <gtest/gtest.h>

#include "runtime/CodePage1250.h"
#include "runtime/Exception.h"

namespace korv {

TEST(CodePage1250, EveryByteComesBackAsItWas) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToCp1250(Cp1250ToUtf8(all)), all);
}

TEST(CodePage1250, CharacterOutsideIsNamedNeverReplaced) {
  struct Case {
    const char* Text;
    const char* Outside;
  };
  const Case cases[] = {
      {"\xd0\xb6ozef", "\xd0\xb6"},          // Cyrillic zhe
      {"ok\xe2\x9c\x93", "\xe2\x9c\x93"},    // check mark
      {"\xc3\xb6\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},  // an emoji after ö
      {"ab\xff", "\\xFF"},                   // not UTF-8 at all
      {"\xc3", "\\xC3"},                     // cut short
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(FirstCharOutsideCp1250(c.Text), c.Outside);
    try {
      Utf8ToCp1250(c.Text);
      ADD_FAILURE() << "no exception";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.message(), "\"" + std::string(c.Outside) + "\" has no place in the Windows-1250 code page");
    }
  }
}

}  // namespace korv
