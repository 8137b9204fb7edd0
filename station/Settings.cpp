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

std::optional<SettingsLines> ReadSettings() {
  auto lines = ReadTextLines(kSettingsFile);
  if (!lines) return std::nullopt;
  return SettingsLines{Line(*lines, 0), Line(*lines, 1), Line(*lines, 2), Line(*lines, 3)};
}

void SaveSettings(const std::string& user, const std::string& password, int32_t baseInterval,
                  uint16_t nightExposure) {
  WriteTextLines(kSettingsFile, {user, password, IntToStr(baseInterval), IntToStr(nightExposure)}, 0600);
}

int32_t ReadPictureCounter() {
  auto lines = ReadTextLines(kPictureNumberFile);
  if (!lines) return 1;
  return StrToIntDef(Line(*lines, 0), 1);
}

void WritePictureCounter(int32_t next) { WriteTextLines(kPictureNumberFile, {IntToStr(next)}); }

std::string PictureDirName(std::string formattedDate) {
  std::replace(formattedDate.begin(), formattedDate.end(), '/', '-');
  return formattedDate;
}

}  // namespace korv
