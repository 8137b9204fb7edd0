// The station's log: one line per event with its local time, in a file that
// is rotated by size so that months of unattended running stay bounded.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace korv {

class RotatingLog {
public:
  // `path` is the live file; when a line would take it past `maxBytes` it
  // becomes `path`.1, the older ones move up to `path`.`keep`, and the
  // oldest is dropped.
  explicit RotatingLog(std::string path, uint64_t maxBytes = 1 << 20, int keep = 3);

  // Appends "YYYY-MM-DDTHH:MM:SS text" as one line: line breaks inside the
  // text become " | " and a text longer than 4 KiB is cut. A log that cannot
  // be written never stops its caller: the line is dropped and counted.
  void Write(std::string_view text) noexcept;

  uint64_t LostLines() const;
  const std::string& Path() const { return Path_; }

private:
  void Rotate();

  const std::string Path_;
  const uint64_t MaxBytes;
  const int Keep;
  mutable std::mutex Lock;
  uint64_t Lost = 0;
};

}  // namespace korv
