// The status record published beside the live picture as koftplive.json:
// what the live page needs to say when and how the picture was taken, how
// often pictures come and whether the station has stopped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "station/Sun.h"

namespace korv {

inline constexpr const char* kLiveStatusName = "koftplive.json";

struct LiveStatus {
  int64_t TakenUtc = 0;         // s since 1970-01-01 UTC: when the picture was taken
  int64_t Number = 0;           // the picture's number (its file NNNNNN.jpg)
  int64_t Bytes = 0;            // the size of the published picture: the page matches it
  int Preset = 0;               // the preset in effect: its button 1..5 (day, dusk, night 1..3), 0 none
  int32_t IntervalS = 0;        // the interval set
  double PeriodS = 0;           // the real time between the last two pictures; 0: not known yet
  int32_t ExposureS = 0;        // the exposure settings sent; 0 = automatic
  int32_t Iso = 0;
  int32_t Aperture = 0;         // f-number
  std::string Steered{};        // the exposure the steering gave the picture ("1/60 s ISO 100"); "" without it
  std::optional<GeoPlace> Place{};        // the sun's altitude is given when known
  std::optional<uint64_t> DiskFreeBytes{};  // of the picture folder's disk
  std::string LastUploadFailure{};        // "" when the last upload succeeded
};

// The record as one line of JSON; times in the machine's local time with
// its offset (ISO 8601), the program's version included.
std::string LiveStatusJson(const LiveStatus& status);

// Writes the record to `path` through a temporary file renamed over it.
// Raises EInOutError when it can't.
void WriteLiveStatus(const std::string& path, const LiveStatus& status);

// "YYYY-MM-DDTHH:MM:SS+HH:MM" of `utc` in the machine's local time.
std::string LocalIsoTime(int64_t utc);

// The bytes free for the station on the disk that holds `path`; nothing
// when it can't be asked.
std::optional<uint64_t> DiskFreeBytes(const std::string& path);

}  // namespace korv
