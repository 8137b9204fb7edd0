#include "camsim/Scenario.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

namespace korv::camsim {

bool SettingProfile::Accepts(uint32_t code) const {
  return AnyValue || std::find(Codes.begin(), Codes.end(), code) != Codes.end();
}

namespace {

// Codes in third stops, as the camera's dials step.
std::vector<uint32_t> ThirdStops(uint32_t first, uint32_t last) {
  std::vector<uint32_t> codes;
  for (uint32_t stop = first & ~7u; stop <= last; stop += 8)
    for (uint32_t offset : {0u, 3u, 5u})
      if (stop + offset >= first && stop + offset <= last) codes.push_back(stop + offset);
  return codes;
}

SettingProfile Listed(std::vector<uint32_t> codes, uint32_t current) {
  return {true, false, std::move(codes), current};
}
SettingProfile Accepted(std::vector<uint32_t> codes, uint32_t current) {
  return {false, false, std::move(codes), current};
}

}  // namespace

CameraProfile CameraProfile::PowerShot() {
  CameraProfile camera;
  std::vector<uint32_t> formats;
  for (uint32_t quality : {1u, 2u, 3u, 5u})
    for (uint32_t size : {0u, 1u, 2u, 5u, 6u, 7u}) formats.push_back(quality << 16 | size);
  auto& s = camera.Settings;
  s["ImageFormat"] = Listed(formats, 2u << 16 | 2u);
  s["ShootingMode"] = Listed({0, 1, 2, 3, 4, 5, 6}, 0);
  s["Av"] = Listed(ThirdStops(24, 56), 32);           // f/2.0 - f/8.0
  s["Tv"] = Listed(ThirdStops(16, 144), 96);          // 30 s - 1/2000 s
  s["ExposureComp"] = Listed(ThirdStops(8, 40), 24);  // -2 - +2
  s["WhiteBalance"] = Listed({0, 1, 2, 3, 4, 5, 6, 8, 9}, 0);
  s["AFDistance"] = Accepted({0, 1, 2}, 0);
  s["FlashMode"] = Listed({0, 1, 2, 3}, 0);
  s["FlashCompensation"] = Accepted(ThirdStops(8, 40), 24);
  s["MeteringMode"] = Listed({0, 1, 2}, 0);
  s["ISO"] = Listed({0, 0x40, 0x48, 0x50, 0x58, 0x60, 0x68}, 0);
  s["Contrast"] = Listed({0xFF, 0, 1}, 0);
  s["ColorSaturation"] = Listed({0xFF, 0, 1}, 0);
  s["Sharpness"] = Listed({0xFF, 0, 1}, 0);
  s["PhotoEffect"] = Accepted({0, 1, 2, 3}, 0);
  s["Beep"] = Listed({0, 1}, 1);
  s["ColorTemperature"] = {false, true, {}, 5200};

  // The same camera as the PR library sees it, in PR codes.
  auto& p = camera.Properties;
  p[0xD006] = Listed({1, 2, 3, 5}, 2);                         // quality
  p[0xD007] = Listed({1, 2}, 1);                               // file format, 2 = lossless
  p[0xD008] = Listed({0, 1, 2, 3, 7}, 2);                      // image size
  p[0xD00A] = Listed({0, 1, 2}, 0);                            // flash mode
  p[0xD00B] = Listed({0, 1}, 1);                               // beep
  p[0xD00C] = Listed({0, 1, 2, 3, 4, 5, 6}, 0);                // shooting mode
  p[0xD010] = Listed({0, 1, 2}, 0);                            // metering
  p[0xD011] = Listed({0, 1, 2}, 0);                            // AF distance
  p[0xD013] = Listed({0, 1, 2, 3, 4, 7, 10}, 0);               // white balance
  p[0xD017] = p[0xD018] = p[0xD019] = Listed({0xFF, 0, 1}, 0);  // contrast, saturation, sharpness
  p[0xD01C] = Listed({0, 0x40, 0x48, 0x50, 0x58, 0x60, 0x68}, 0);
  p[0xD01D] = Listed(ThirdStops(24, 56), 32);
  p[0xD01E] = Listed(ThirdStops(16, 144), 96);
  p[0xD01F] = p[0xD020] = Listed(ThirdStops(8, 40), 24);        // exposure and flash compensation
  p[0xD029] = Listed({1, 2, 3, 4, 8, 12}, 8);                   // capture transfer mode
  p[0xD02A] = Listed({}, 0);                                    // zoom: the "zoom" line gives its range
  p[0xD03D] = Listed({}, 0);
  p[0xD040] = Listed({0, 1, 2, 3}, 0);                          // photo effect
  camera.Operations = {0x1001, 0x1002, 0x1003, 0x1014, 0x1015, 0x1016, 0x9008, 0x900B, 0x9014};
  return camera;
}

std::vector<CameraProfile>& Scenario::Library(std::string_view tag) {
  return tag == "PR" ? PR : tag == "RC" ? RC : CD;
}

const std::vector<std::string>& SettingNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> all;
    for (auto& [name, profile] : CameraProfile::PowerShot().Settings) all.push_back(name);
    return all;
  }();
  return names;
}

namespace {

// Decimal, or hexadecimal after "0x"; `base` 16 reads hexadecimal with or
// without it.
bool ParseNumber(const std::string& word, uint32_t& value, int base = 0) {
  if (word.empty() || word[0] == '-' || word[0] == '+') return false;
  char* end = nullptr;
  unsigned long number = std::strtoul(word.c_str(), &end, base);
  if (*end != '\0' || number > 0xFFFFFFFFul) return false;
  value = static_cast<uint32_t>(number);
  return true;
}

// "q:s" for image formats, a plain number otherwise.
bool ParseCode(const std::string& word, uint32_t& code) {
  size_t colon = word.find(':');
  if (colon == std::string::npos) return ParseNumber(word, code);
  uint32_t quality = 0, size = 0;
  if (!ParseNumber(word.substr(0, colon), quality) || !ParseNumber(word.substr(colon + 1), size) ||
      quality > 0xFFFF || size > 0xFFFF)
    return false;
  code = quality << 16 | size;
  return true;
}

std::string Rest(std::istringstream& words) {
  std::string rest;
  std::getline(words, rest);
  rest.erase(0, rest.find_first_not_of(" \t"));
  rest.erase(rest.find_last_not_of(" \t\r") + 1);
  return rest;
}

std::string ParseNumbers(std::istringstream& words, std::vector<uint32_t>& numbers) {
  for (std::string w; words >> w;) {
    uint32_t n = 0;
    if (!ParseNumber(w, n)) return "not a number: " + w;
    numbers.push_back(n);
  }
  return "";
}

// The lines that describe a camera as the PR library sees it.
std::string ParsePRLine(const std::string& key, std::istringstream& words, CameraProfile& camera) {
  std::vector<uint32_t> numbers;
  if (key == "property") {
    std::string code, mode;
    words >> code >> mode;
    uint32_t property = 0;
    if (!ParseNumber(code, property) || property > 0xFFFF) return "not a property code: " + code;
    if (mode != "list" && mode != "none") return "property mode must be list or none";
    if (std::string error = ParseNumbers(words, numbers); !error.empty()) return error;
    SettingProfile& profile = camera.Properties[property];
    profile.Listable = mode == "list";
    profile.Codes = numbers;
    if (!numbers.empty() && !profile.Accepts(profile.Current)) profile.Current = numbers[0];
    return "";
  }
  if (std::string error = ParseNumbers(words, numbers); !error.empty()) return error;
  if (key == "operations") camera.Operations = numbers;
  else if (key == "releaseevents") camera.ReleaseEvents = numbers;
  else if (numbers.size() != 2) return key + " takes 2 numbers";
  else if (key == "battery") camera.BatteryKind = numbers[0], camera.BatteryLevel = numbers[1];
  else if (auto found = camera.Properties.find(numbers[0]); found != camera.Properties.end())
    found->second.Current = numbers[1];
  else return "unknown property: " + std::to_string(numbers[0]);
  return "";
}

// The lines of a camera, each read by its own function; an empty result
// means the line was understood.
using CameraLine = std::string (*)(const std::string& key, std::istringstream& words, CameraProfile& camera);

std::string ParseEvents(const std::string&, std::istringstream& words, CameraProfile& camera) {
  std::string mode = Rest(words);
  if (mode != "call" && mode != "thread") return "events must be \"call\" or \"thread\"";
  camera.EventsFromThread = mode == "thread";
  return "";
}

// time HH:MM, date MM-DD
std::string ParseTimeOrDate(const std::string& key, std::istringstream& words, CameraProfile& camera) {
  std::string text = Rest(words);
  int first = -1, second = -1;
  char separator = 0, extra = 0;
  bool time = key == "time";
  if (std::sscanf(text.c_str(), "%d%c%d %c", &first, &separator, &second, &extra) != 3 ||
      separator != (time ? ':' : '-') || first < (time ? 0 : 1) || first > (time ? 23 : 12) ||
      second < (time ? 0 : 1) || second > (time ? 59 : 31))
    return time ? "time must be HH:MM" : "date must be MM-DD";
  (time ? camera.Hour : camera.Month) = first;
  (time ? camera.Minute : camera.Day) = second;
  return "";
}

std::string ParseClouds(const std::string&, std::istringstream& words, CameraProfile& camera) {
  uint32_t percent = 0;
  std::string word;
  words >> word;
  if (!ParseNumber(word, percent) || percent > 100) return "clouds takes a percentage 0-100";
  camera.CloudPercent = static_cast<int>(percent);
  return "";
}

// unplug after N for S
std::string ParseUnplug(const std::string&, std::istringstream& words, CameraProfile& camera) {
  std::string after, releases, forWord, seconds;
  words >> after >> releases >> forWord >> seconds;
  char* end = nullptr;
  const double span = seconds.empty() ? -1 : std::strtod(seconds.c_str(), &end);
  if (after != "after" || forWord != "for" || !ParseNumber(releases, camera.UnplugAfter) ||
      camera.UnplugAfter == 0 || span < 0 || span > 86400 || *end != '\0' || !Rest(words).empty())
    return "unplug takes \"after N for S\": N releases (at least 1), S seconds";
  camera.UnplugSeconds = span;
  return "";
}

std::string ParseBusy(const std::string&, std::istringstream& words, CameraProfile& camera) {
  std::string word;
  words >> word;
  if (!ParseNumber(word, camera.BusyWrites) || !Rest(words).empty()) return "busy takes a number of writes";
  return "";
}

// power N, faculty N, zoom POSITION MAX1 MAX2
std::string ParseStateNumbers(const std::string& key, std::istringstream& words, CameraProfile& camera) {
  std::vector<uint32_t> numbers;
  if (std::string error = ParseNumbers(words, numbers); !error.empty()) return error;
  if (numbers.size() != (key == "zoom" ? 3u : 1u)) return key + " takes " + (key == "zoom" ? "3 numbers" : "1 number");
  if (key == "power") camera.PowerState = numbers[0];
  else if (key == "faculty") camera.Faculty = numbers[0];
  else {
    camera.ZoomPosition = numbers[0];
    camera.ZoomMax1 = numbers[1];
    camera.ZoomMax2 = numbers[2];
  }
  return "";
}

// setting NAME list|accept|any CODE..., value NAME CODE
std::string ParseSetting(const std::string& key, std::istringstream& words, CameraProfile& camera) {
  std::string name, mode;
  words >> name;
  auto found = camera.Settings.find(name);
  if (found == camera.Settings.end()) return "unknown setting: " + name;
  SettingProfile& profile = found->second;
  if (key == "setting") {
    words >> mode;
    if (mode != "list" && mode != "accept" && mode != "any") return "setting mode must be list, accept or any";
    profile.Listable = mode == "list";
    profile.AnyValue = mode == "any";
    profile.Codes.clear();
  }
  std::vector<uint32_t> codes;
  for (std::string w; words >> w;) {
    uint32_t code = 0;
    if (!ParseCode(w, code)) return "not a code: " + w;
    codes.push_back(code);
  }
  if (key == "setting") profile.Codes = codes;
  else if (codes.size() != 1) return "value takes one code";
  else profile.Current = codes[0];
  return "";
}

const std::pair<std::string_view, CameraLine> CameraLines[] = {
    {"model", [](const std::string&, std::istringstream& w, CameraProfile& c) {
       c.Model = c.ListName = Rest(w);
       return std::string();
     }},
    {"name", [](const std::string&, std::istringstream& w, CameraProfile& c) { return c.ListName = Rest(w), std::string(); }},
    {"owner", [](const std::string&, std::istringstream& w, CameraProfile& c) { return c.Owner = Rest(w), std::string(); }},
    {"events", ParseEvents},
    {"time", ParseTimeOrDate},
    {"date", ParseTimeOrDate},
    {"clouds", ParseClouds},
    {"property", ParsePRLine},
    {"propvalue", ParsePRLine},
    {"operations", ParsePRLine},
    {"releaseevents", ParsePRLine},
    {"battery", ParsePRLine},
    {"unplug", ParseUnplug},
    {"busy", ParseBusy},
    {"power", ParseStateNumbers},
    {"faculty", ParseStateNumbers},
    {"zoom", ParseStateNumbers},
    {"setting", ParseSetting},
    {"value", ParseSetting},
};

// One line into `camera`; an empty result means the line was understood.
std::string ParseCameraLine(const std::string& key, std::istringstream& words, CameraProfile& camera) {
  for (const auto& [name, parse] : CameraLines)
    if (name == key) return parse(key, words, camera);
  return "unknown line: " + key;
}

}  // namespace

uint32_t ParseScenario(std::string_view text, Scenario& scenario, std::string& error) {
  Scenario parsed;
  CameraProfile* camera = nullptr;
  std::istringstream lines{std::string(text)};
  uint32_t number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::string key;
    if (!(words >> key)) continue;
    if (key == "fail") {
      // fail ENTRY COUNT STATUS [after N]; for whichever library has the entry
      InjectedFailure failure;
      std::string count, status, after, skipped;
      words >> failure.Entry >> count >> status >> after >> skipped;
      if (failure.Entry.empty() || !ParseNumber(count, failure.Count) || failure.Count == 0 ||
          !ParseNumber(status, failure.Status, 16) || (!after.empty() && after != "after") ||
          (after == "after" && !ParseNumber(skipped, failure.After)) || !Rest(words).empty()) {
        error = "fail takes ENTRY COUNT STATUS [after N]";
        return number;
      }
      parsed.Failures.push_back(failure);
      continue;
    }
    if (key == "camera") {
      std::string library = Rest(words);
      if (library != "CD" && library != "PR" && library != "RC") {
        error = "camera must name a library: CD, PR or RC";
        return number;
      }
      camera = &parsed.Library(library).emplace_back(CameraProfile::PowerShot());
      continue;
    }
    if (camera == nullptr) {
      error = "a \"camera\" line must come first";
      return number;
    }
    error = ParseCameraLine(key, words, *camera);
    if (!error.empty()) return number;
  }
  scenario = std::move(parsed);
  return 0;
}

Scenario DefaultScenario() {
  Scenario scenario;
  const char* file = std::getenv("CAMSIM_SCENARIO");
  if (file == nullptr || *file == '\0') {
    scenario.CD.push_back(CameraProfile::PowerShot());
    return scenario;
  }
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  std::string error;
  if (!in) error = "can't be read";
  else if (uint32_t line = ParseScenario(text.str(), scenario, error)) error = "line " + std::to_string(line) + ": " + error;
  if (!error.empty()) std::cerr << "camsim: scenario " << file << ' ' << error << "; no camera attached\n";
  return scenario;
}

}  // namespace korv::camsim
