// Small helpers shared by the network units: text, deadlines, cleanup.
#pragma once

#include <cctype>
#include <chrono>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace korv {

// Without leading and trailing blanks and control characters.
inline std::string Trim(std::string_view text) {
  size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return std::string(text.substr(first, last - first));
}

using TDeadline = std::chrono::steady_clock::time_point;

inline TDeadline DeadlineIn(int64_t milliseconds) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

// Whole milliseconds left until `deadline`, rounded up; 0 or less once it passed.
inline int64_t MsLeft(TDeadline deadline) {
  return std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
}

// Equal without regard to letter case (ASCII).
inline bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// Runs `work`, then `always` however `work` ended; an exception of `work`
// passes on after `always`. For cleanup that calls event handlers, which may
// raise and so can't run in a scope guard's destructor.
template <typename Work, typename Always>
void ThenAlways(Work work, Always always) {
  std::exception_ptr failure;
  try {
    work();
  } catch (...) {
    failure = std::current_exception();
  }
  always();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace korv
