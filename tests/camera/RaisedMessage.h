// The message an operation raises, for comparing exact texts.
#pragma once

#include <functional>
#include <string>

#include "runtime/Exception.h"

namespace korv::test {

inline std::string MessageOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const Exception& e) {
    return e.what();
  }
  return "<nothing raised>";
}

}  // namespace korv::test
