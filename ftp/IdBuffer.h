// Received bytes not yet consumed. Consuming only advances an offset; the
// rest is moved to the front once 32768 bytes have been consumed, so reading
// line by line does not move memory for every line.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace korv {

class TIdBuffer {
public:
  static constexpr size_t CompactAfter = 32768;

  // Told the number of bytes of every consumption.
  std::function<void(size_t)> OnConsumed;

  size_t Size() const { return Data.size() - Offset; }
  std::string_view View() const { return std::string_view(Data).substr(Offset); }

  void Append(const char* bytes, size_t count) { Data.append(bytes, count); }
  // The first `count` bytes, consumed; more than held raises
  // EIdNotEnoughDataInBuffer.
  std::string Extract(size_t count) { return Extract(count, count); }
  // The first `keep` bytes, with `count` bytes consumed.
  std::string Extract(size_t keep, size_t count);
  void Clear();
  // Position of `pattern` at or after `from`, or npos.
  size_t Find(std::string_view pattern, size_t from) const { return View().find(pattern, from); }

private:
  std::string Data;
  size_t Offset = 0;
};

}  // namespace korv
