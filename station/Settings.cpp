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
std::optional<std::vector<std::string>> ReadLines(const char* file, std::string* problem) {
  try {
    return ReadTextLines(file);
  } catch (const EInOutError& e) {
    if (problem) *problem = e.message();
    return std::nullopt;
  }
}

// A plain decimal number (blanks around it allowed) within [low, high].
std::optional<int64_t> NumberIn(std::string_view text, int64_t low, int64_t high) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < low || value > high) return std::nullopt;
  return value;
}

}  // namespace

std::optional<SettingsLines> ReadSettings(std::string* problem) {
  auto lines = ReadLines(kSettingsFile, problem);
  if (!lines) return std::nullopt;
  return SettingsLines{Cp1250ToUtf8(Line(*lines, 0)), Cp1250ToUtf8(Line(*lines, 1)), Cp1250ToUtf8(Line(*lines, 2)),
                       Cp1250ToUtf8(Line(*lines, 3))};
}

int32_t IntervalOf(std::string_view line) {
  return static_cast<int32_t>(
      NumberIn(line, 1, std::numeric_limits<int32_t>::max()).value_or(kDefaultInterval));
}

uint16_t NightExposureOf(std::string_view line) {
  if (line.empty()) return 0;
  return static_cast<uint16_t>(
      NumberIn(line, 0, std::numeric_limits<uint16_t>::max()).value_or(kDefaultNightExposure));
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

void SaveSettings(const std::string& user, const std::string& password, int32_t baseInterval,
                  uint16_t nightExposure) {
  if (std::string problem = AccountProblem(user, password); !problem.empty()) throw EConvertError(problem);
  WriteTextLines(kSettingsFile,
                 {Utf8ToCp1250(user), Utf8ToCp1250(password), IntToStr(baseInterval), IntToStr(nightExposure)}, 0600);
}

int64_t ReadPictureCounter(std::string* problem) {
  auto lines = ReadLines(kPictureNumberFile, problem);
  if (!lines) return 1;
  std::string first = Line(*lines, 0);
  if (auto number = NumberIn(first, 1, kLastPictureNumber)) return *number;
  if (problem) {
    *problem = std::string(kPictureNumberFile) + " holds no picture number (\"" + Cp1250ToUtf8(first.substr(0, 40)) +
               "\")";
  }
  return 1;
}

void WritePictureCounter(int64_t next) { WriteTextLines(kPictureNumberFile, {IntToStr(next)}); }

int CleanUpInterruptedWrites() {
  return RemoveLeftoverTemporaries(kSettingsFile) + RemoveLeftoverTemporaries(kPictureNumberFile);
}

std::string PictureDirName(std::string formattedDate) {
  std::replace(formattedDate.begin(), formattedDate.end(), '/', '-');
  return formattedDate;
}

}  // namespace korv
