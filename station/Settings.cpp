#include "station/Settings.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <vector>

#include "runtime/CodePage1250.h"
#include "runtime/Convert.h"
#include "runtime/Exception.h"
#include "runtime/TextFile.h"

namespace korv {

namespace {

std::string Line(const std::vector<std::string>& lines, size_t index) {
  return index < lines.size() ? lines[index] : std::string();
}

// The lines of one of the station's files; nothing, with the reason in
// `problem`, when it is missing or unreadable.
std::optional<std::vector<std::string>> ReadLines(const std::string& file, std::string* problem) {
  try {
    return ReadTextLines(file);
  } catch (const EInOutError& e) {
    if (problem) *problem = e.message();
    return std::nullopt;
  }
}

// The picture number of a line of "max.ser": plain decimal digits, with
// blanks around them at most.
std::optional<int64_t> PictureNumberOf(std::string_view line) {
  size_t first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  line = line.substr(first, line.find_last_not_of(" \t") + 1 - first);
  int64_t value = 0;
  auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), value);
  if (error != std::errc() || end != line.data() + line.size()) return std::nullopt;
  if (value < 1 || value > kLastPictureNumber) return std::nullopt;
  return value;
}

}  // namespace

std::optional<SettingsLines> ReadSettings(const std::string& file, std::string* problem) {
  auto lines = ReadLines(file, problem);
  if (!lines) return std::nullopt;
  return SettingsLines{Cp1250ToUtf8(Line(*lines, 0)), Cp1250ToUtf8(Line(*lines, 1)), Cp1250ToUtf8(Line(*lines, 2)),
                       Cp1250ToUtf8(Line(*lines, 3))};
}

int32_t IntervalOf(std::string_view line) {
  int32_t interval = StrToIntDef(line, 0);
  return interval > 0 ? interval : kDefaultInterval;
}

uint16_t NightExposureOf(std::string_view line) {
  if (line.empty()) return 0;
  int32_t exposure = StrToIntDef(line, -1);
  return exposure >= 0 && exposure <= std::numeric_limits<uint16_t>::max() ? static_cast<uint16_t>(exposure)
                                                                          : kDefaultNightExposure;
}

std::string AccountProblem(std::string_view user, std::string_view password) {
  for (auto [text, field] : {std::pair{user, "user name"}, std::pair{password, "password"}}) {
    if (auto outside = FirstCharOutsideCp1250(text)) {
      return "The " + std::string(field) + " holds \"" + *outside +
             "\", which is not in the Windows-1250 code page of the settings file";
    }
  }
  return "";
}

void SaveSettings(const std::string& file, const std::string& user, const std::string& password, int32_t baseInterval,
                  uint16_t nightExposure) {
  if (std::string problem = AccountProblem(user, password); !problem.empty()) throw EConvertError(problem);
  WriteTextLines(file,
                 {Utf8ToCp1250(user), Utf8ToCp1250(password), IntToStr(baseInterval), IntToStr(nightExposure)}, 0600);
}

int64_t ReadPictureCounter(const std::string& file, std::string* problem) {
  auto lines = ReadLines(file, problem);
  if (!lines) return 1;
  std::string first = Line(*lines, 0);
  if (auto number = PictureNumberOf(first)) return *number;
  if (problem) {
    *problem = std::string(kPictureNumberFile) + " holds no picture number (\"" + Cp1250ToUtf8(first.substr(0, 40)) +
               "\")";
  }
  return 1;
}

void WritePictureCounter(const std::string& file, int64_t next) { WriteTextLines(file, {IntToStr(next)}); }

int CleanUpInterruptedWrites(const std::string& settingsFile, const std::string& counterFile) {
  return RemoveLeftoverTemporaries(settingsFile) + RemoveLeftoverTemporaries(counterFile);
}

std::string PictureDirName(std::string formattedDate) {
  std::replace(formattedDate.begin(), formattedDate.end(), '/', '-');
  return formattedDate;
}

}  // namespace korv
