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
// accepted. Anything else, the empty text included, raises EConvertError
// "'<text>' is not a valid integer value".
int32_t StrToInt(std::string_view text);

// As StrToInt, with `fallback` instead of the exception.
int32_t StrToIntDef(std::string_view text, int32_t fallback);

}  // namespace korv
