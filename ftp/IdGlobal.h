// Small text helpers shared by the network units.
#pragma once

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

}  // namespace korv
