// Conversions between numbers and their decimal and hexadecimal texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korv {

std::string IntToStr(int64_t value);

// Upper-case hexadecimal, left-padded with zeros to at least `digits`.
std::string IntToHex(uint64_t value, int digits);

// Decimal text to a 32-bit integer: blanks around the number and one sign are
// accepted; the empty text (a missing line of a settings file) is 0. Anything
// else raises EConvertError "'<text>' is not a valid integer value".
int32_t StrToInt(std::string_view text);

// As StrToInt, with `fallback` instead of the exception.
int32_t StrToIntDef(std::string_view text, int32_t fallback);
int64_t StrToInt64Def(std::string_view text, int64_t fallback);

}  // namespace korv
