// The camera side's one exception class and the texts of library status codes.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/Exception.h"

namespace korv {

class ECamException : public Exception {
public:
  using Exception::Exception;
};

// Texts of the CD library (shared by the RC library) and of the PR library;
// only the low 16 bits of the code are looked at, unknown codes give
// "Unkown error" (sic, as the library's own documentation spells it).
std::string_view CDErrorText(uint32_t code);
std::string_view PRErrorText(uint32_t code);

using ErrorTextFunction = std::string_view (*)(uint32_t code);

// Raises ECamException "<name> errorcode 0x<8 hex digits>, <text>" for a
// non-zero status; returns for 0.
void CheckResult(std::string_view functionName, uint32_t status, ErrorTextFunction text = CDErrorText);

}  // namespace korv
