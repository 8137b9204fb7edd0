// The station's variables: what its handlers remember between events.
// Private to the station.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "camera/CamDefines.h"
#include "station/Sun.h"

namespace korv {

// The FTP server that receives the live picture unless the program is told
// another; the build sets it (KORV_UPLOAD_HOST).
inline constexpr const char* kDefaultUploadHost = KORV_UPLOAD_HOST;

// Also what the settings file gives when its lines hold no usable value.
inline constexpr int32_t kDefaultInterval = 5;          // s
inline constexpr uint16_t kDefaultNightExposure = 15;  // s

struct StationState {
  int32_t base_interval = kDefaultInterval;  // s; the day preset's interval, lower bound of the others
  int32_t interval = kDefaultInterval;       // s; the current picture interval
  int32_t exposure_s = 0;      // s; 0 = automatic
  int32_t iso = 0;             // 0 = automatic
  int32_t aperture = 0;        // f-number; 0 = automatic
  uint16_t night_exposure = kDefaultNightExposure;  // 5, 10 or 15: which night preset the evening switch selects
  uint8_t day_mode = 0;        // the camera's shooting mode read at connect
  uint16_t zoom_max = 0;       // low 16 bits of the camera's zoom maximum
  uint16_t zoom_pos = 0;       // low 16 bits of the zoom position
  uint16_t last_hour = 0;      // hour of the previous timer tick
  uint16_t evening_hour = 0;   // switch hours of the current month
  uint16_t morning_hour = 0;
  int64_t picture_counter = 1;  // number of the next picture
  std::string picture_dir;      // the start date's folder
  std::string ftp_user;         // the account stored in the settings file
  std::string ftp_password;
  int32_t upload_extra_s = 0;   // s; added to the interval while uploading
  int64_t upload_file_size = 0;  // bytes of the file being uploaded
  int32_t failed_captures = 0;   // ticks the camera failed since its last picture
  bool picture_awaited = false;  // the camera has not yet given the last tick's picture
  std::optional<bool> sun_day;  // the mode the sun last switched to (true: day); none since Start
};

}  // namespace korv
