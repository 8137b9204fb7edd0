#include "station/Settings.h"

#include <algorithm>
#include <vector>

#include "runtime/Convert.h"
#include "runtime/TextFile.h"

namespace korv {

namespace {

std::string Line(const std::vector<std::string>& lines, size_t index) {
  return index < lines.size() ? lines[index] : std::string();
}

}  // namespace

std::optional<SettingsLines> ReadSettings(const std::string& file) {
  auto lines = ReadTextLines(file);
  if (!lines) return std::nullopt;
  return SettingsLines{Line(*lines, 0), Line(*lines, 1), Line(*lines, 2), Line(*lines, 3)};
}

void SaveSettings(const std::string& file, const std::string& user, const std::string& password, int32_t baseInterval,
                  uint16_t nightExposure) {
  WriteTextLines(file, {user, password, IntToStr(baseInterval), IntToStr(nightExposure)}, 0600);
}

int64_t ReadPictureCounter(const std::string& file) {
  auto lines = ReadTextLines(file);
  if (!lines) return 1;
  return std::max<int64_t>(StrToInt64Def(Line(*lines, 0), 1), 1);
}

void WritePictureCounter(const std::string& file, int64_t next) { WriteTextLines(file, {IntToStr(next)}); }

std::string PictureDirName(std::string formattedDate) {
  std::replace(formattedDate.begin(), formattedDate.end(), '/', '-');
  return formattedDate;
}

}  // namespace korv
