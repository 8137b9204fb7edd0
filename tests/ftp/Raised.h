// Catching an expected exception to look at it.
#pragma once

#include <gtest/gtest.h>

#include <optional>

namespace korv::test {

// The exception of type E that `call` raised; nothing (and a test failure)
// when it raised none.
template <typename E, typename Call>
std::optional<E> Raised(Call call) {
  try {
    call();
  } catch (const E& e) {
    return e;
  }
  ADD_FAILURE() << "no exception";
  return std::nullopt;
}

}  // namespace korv::test
