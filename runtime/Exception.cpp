#include "runtime/Exception.h"

namespace korv {

EAssertionFailed EAssertionFailed::At(const std::string& unit, int line) {
  return EAssertionFailed("Assertion failure (" + unit + ", line " + std::to_string(line) + ")");
}

}  // namespace korv
