#include "page/LiveStatus.h"

#include <sys/statvfs.h>

#include <ctime>
#include <nlohmann/json.hpp>

#include "runtime/TextFile.h"

namespace korv {

std::string LocalIsoTime(int64_t utc) {
  const time_t t = static_cast<time_t>(utc);
  struct tm local {};
  localtime_r(&t, &local);
  char text[64];
  const size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
  std::string iso(text, length);
  if (iso.size() >= 5) iso.insert(iso.size() - 2, ":");  // +0100 -> +01:00, as ISO 8601 writes it
  return iso;
}

std::optional<uint64_t> DiskFreeBytes(const std::string& path) {
  struct statvfs disk {};
  if (statvfs(path.c_str(), &disk) != 0) return std::nullopt;
  return static_cast<uint64_t>(disk.f_bavail) * disk.f_frsize;
}

namespace {

// What the page calls the presets, after the station's buttons.
constexpr const char* kPresetNames[] = {"", "nappali", "félhomály", "éjszakai 1", "éjszakai 2", "éjszakai 3"};

}  // namespace

std::string LiveStatusJson(const LiveStatus& status) {
  const bool knownPreset = status.Preset >= 1 && status.Preset <= 5;
  nlohmann::ordered_json record = {
      {"picture", {{"number", status.Number}, {"bytes", status.Bytes}, {"taken", LocalIsoTime(status.TakenUtc)}}},
      {"preset", {{"number", status.Preset}, {"name", kPresetNames[knownPreset ? status.Preset : 0]}}},
      {"interval_s", status.IntervalS},
      {"exposure", {{"exposure_s", status.ExposureS}, {"iso", status.Iso}, {"aperture", status.Aperture}}},
      {"version", KORV_VERSION},
  };
  if (!status.Steered.empty()) record["exposure"]["steered"] = status.Steered;
  if (status.PeriodS > 0) record["period_s"] = status.PeriodS;
  if (status.Place) record["sun_altitude_deg"] = SunAltitude(status.TakenUtc, *status.Place);
  if (status.DiskFreeBytes) record["disk_free_bytes"] = *status.DiskFreeBytes;
  if (!status.LastUploadFailure.empty()) record["last_upload_failure"] = status.LastUploadFailure;
  // Texts from outside (a server's reply) may hold anything: replaced, never thrown at.
  return record.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void WriteLiveStatus(const std::string& path, const LiveStatus& status) {
  WriteTextLines(path, {LiveStatusJson(status)});
}

}  // namespace korv
