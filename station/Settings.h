// The station's two small files in its working folder: the settings file
// "korv-cps.ini" (FTP user name, password, day interval, night preset
// exposure, one per line) and "max.ser" (the number of the next picture).
// Both are kept in Windows-1250, as stations have always written them; the
// texts handed in and out here are UTF-8. Each function takes the file's
// path.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "station/PictureFiles.h"
#include "station/StationState.h"

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

// The settings file's lines, or nothing when there is none or it can't be
// read; then `problem`, when given, says why (empty when there is no file).
std::optional<SettingsLines> ReadSettings(const std::string& file, std::string* problem = nullptr);

// The day interval of line 3: the default 5 unless it is a positive 32-bit
// number (100 and more are taken as they stand).
int32_t IntervalOf(std::string_view line);

// The night preset exposure of line 4: 0 for an empty (or missing) line,
// the default 15 for one that is not a number from 0 to 65535.
uint16_t NightExposureOf(std::string_view line);

// The message that refuses an account the settings file can't hold (a
// character outside Windows-1250, which would be lost or changed on the way
// to the file and to the server), or "" when both texts fit.
std::string AccountProblem(std::string_view user, std::string_view password);

// Replaces the settings file. It holds the password in clear, so only its
// owner may read it. A failed write raises EInOutError, an account that
// AccountProblem refuses EConvertError; neither leaves the old file changed.
void SaveSettings(const std::string& file, const std::string& user, const std::string& password, int32_t baseInterval,
                  uint16_t nightExposure);

// The number kept in "max.ser", or 1 when there is no usable one: the file
// is missing, can't be read, or holds no number from 1 to
// kLastPictureNumber; then `problem`, when given, says why (empty when the
// file is missing).
int64_t ReadPictureCounter(const std::string& file, std::string* problem = nullptr);
void WritePictureCounter(const std::string& file, int64_t next);

// Removes the temporary files that writes of `settingsFile` and
// `counterFile` left behind when the station was stopped in the middle of
// one; returns how many there were.
int CleanUpInterruptedWrites(const std::string& settingsFile, const std::string& counterFile);

// A date written in the system's short date format, made usable as the name
// of one folder: a path separator becomes "-".
std::string PictureDirName(std::string formattedDate);

}  // namespace korv
