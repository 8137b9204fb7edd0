// The station's two small files in the working folder: the settings file
// "korv-cps.ini" (FTP user name, password, day interval, night preset
// exposure, one per line) and "max.ser" (the number of the next picture).
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
std::optional<SettingsLines> ReadSettings();

// Replaces the settings file. It holds the password in clear, so only its
// owner may read it. A failed write raises EInOutError.
void SaveSettings(const std::string& user, const std::string& password, int32_t baseInterval,
                  uint16_t nightExposure);

// The number kept in "max.ser", or 1 when the file can't be opened.
int32_t ReadPictureCounter();
void WritePictureCounter(int32_t next);

// A date written in the system's short date format, made usable as the name
// of one folder: a path separator becomes "-".
std::string PictureDirName(std::string formattedDate);

}  // namespace korv
