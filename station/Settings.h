// The station's two small files in its working folder: the settings file
// "korv-cps.ini" (FTP user name, password, day interval, night preset
// exposure, one per line) and "max.ser" (the number of the next picture).
// Each function takes the file's path.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace korv {

inline constexpr const char* kSettingsFile = "korv-cps.ini";
inline constexpr const char* kPictureNumberFile = "max.ser";

// The four lines as text; a missing line is empty.
struct SettingsLines {
  std::string User;
  std::string Password;
  std::string Interval;
  std::string NightExposure;
};

// The settings file's lines, or nothing when it can't be opened.
std::optional<SettingsLines> ReadSettings(const std::string& file);

// Replaces the settings file. It holds the password in clear, so only its
// owner may read it. A failed write raises EInOutError.
void SaveSettings(const std::string& file, const std::string& user, const std::string& password, int32_t baseInterval,
                  uint16_t nightExposure);

// The number kept in "max.ser", or 1 when the file can't be opened or holds
// no number from 1 up.
int64_t ReadPictureCounter(const std::string& file);
void WritePictureCounter(const std::string& file, int64_t next);

// A date written in the system's short date format, made usable as the name
// of one folder: a path separator becomes "-".
std::string PictureDirName(std::string formattedDate);

}  // namespace korv
