#include "app/Options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace korv {

namespace {

bool IsDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// A DNS name of letters, digits and inner hyphens in labels of at most 63
// characters (RFC 1123), or a dotted IPv4 address, which has the same form.
bool IsHostName(const std::string& host) {
  if (host.empty() || host.size() > 253) return false;
  size_t start = 0;
  while (true) {
    size_t dot = host.find('.', start);
    std::string label = host.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
    for (unsigned char c : label)
      if (!std::isalnum(c) && c != '-') return false;
    if (dot == std::string::npos) return true;
    start = dot + 1;
  }
}

// A decimal number with a point whatever the locale (Qt sets the user's),
// and nothing after it.
std::optional<double> DecimalOf(const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
  if (error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

GeoPlace PlaceOf(const std::string& text, const std::string& origin) {
  size_t comma = text.find(',');
  std::optional<double> latitude = DecimalOf(text.substr(0, comma));
  std::optional<double> longitude =
      comma == std::string::npos ? std::nullopt : DecimalOf(text.substr(comma + 1));
  if (!latitude || !longitude)
    throw EOptionError(origin + ": '" + text + "' is not LAT,LON in decimal degrees (north and east positive)");
  if (std::fabs(*latitude) > 90)
    throw EOptionError(origin + ": latitude " + text.substr(0, comma) + " is outside -90..90");
  if (std::fabs(*longitude) > 180)
    throw EOptionError(origin + ": longitude " + text.substr(comma + 1) + " is outside -180..180");
  return {*latitude, *longitude};
}

double NightAltitudeOf(const std::string& text) {
  std::optional<double> degrees = DecimalOf(text);
  if (!degrees) throw EOptionError("--night-altitude: '" + text + "' is not a number of degrees");
  if (*degrees < kLowestNightAltitude || *degrees > kHighestNightAltitude)
    throw EOptionError("--night-altitude: " + text + " is outside -18..10 degrees");
  return *degrees;
}

CivilDate DateOf(const std::string& text) {
  std::optional<CivilDate> date = ParseCivilDate(text);
  if (!date) throw EOptionError("--schedule: '" + text + "' is not a day YYYY-MM-DD between 1901 and 2099");
  return *date;
}

// A whole number from `low` to `high`, for a count of days or megabytes.
int64_t BoundOf(const std::string& text, const std::string& option, int64_t low, int64_t high) {
  if (!IsDigits(text) || text.size() > 15 || std::stoll(text) < low || std::stoll(text) > high)
    throw EOptionError(option + ": '" + text + "' is not a whole number from " + std::to_string(low) + " to " +
                       std::to_string(high));
  return std::stoll(text);
}

// --auto-exposure's wanted mean brightness.
double TargetOf(const std::string& text) {
  std::optional<double> target = DecimalOf(text);
  if (!target || *target < kMinExposureTarget || *target > kMaxExposureTarget)
    throw EOptionError("--auto-exposure: '" + text + "' is not a brightness from 0.05 to 0.9");
  return *target;
}

bool Names(const std::string& arg, const std::string& name) {
  return arg == name || arg.rfind(name + "=", 0) == 0;
}

}  // namespace

bool AsksForSchedule(const std::vector<std::string>& args) {
  return std::any_of(args.begin(), args.end(), [](const std::string& arg) { return Names(arg, "--schedule"); });
}

void SetUploadHost(StationOptions& options, const std::string& text, const std::string& origin) {
  std::string host = text;
  uint16_t port = 21;
  if (size_t colon = text.rfind(':'); colon != std::string::npos) {
    host = text.substr(0, colon);
    std::string digits = text.substr(colon + 1);
    unsigned long value = IsDigits(digits) && digits.size() <= 5 ? std::stoul(digits) : 0;
    if (value < 1 || value > 65535)
      throw EOptionError(origin + ": '" + text + "' has no port from 1 to 65535 after the colon");
    port = static_cast<uint16_t>(value);
  }
  if (!IsHostName(host))
    throw EOptionError(origin + ": '" + text + "' is not a host name or IPv4 address (HOST or HOST:PORT)");
  options.Station.UploadHost = host;
  options.Station.UploadPort = port;
}

// What the environment sets; options given on the command line override it.
static void ApplyEnvironment(StationOptions& options, const OptionsEnvironment& environment, const std::string& defaultHost) {
  options.Station.UploadHost = defaultHost;
  if (environment.UploadHost && *environment.UploadHost)
    SetUploadHost(options, environment.UploadHost, "KORV_UPLOAD_HOST");
  if (environment.UploadTls && *environment.UploadTls) {
    const std::string value = environment.UploadTls;
    if (value != "0" && value != "1") throw EOptionError("KORV_UPLOAD_TLS: '" + value + "' is neither 1 nor 0");
    options.Station.UploadTls = value == "1";
  }
  if (environment.Location && *environment.Location)
    options.Station.Location = PlaceOf(environment.Location, "KORV_LOCATION");
}

StationOptions ParseOptions(const std::vector<std::string>& args, const OptionsEnvironment& environment,
                            const std::string& defaultHost) {
  StationOptions options;
  ApplyEnvironment(options, environment, defaultHost);

  bool hostGiven = false;
  auto once = [](bool& given, const std::string& name) {
    if (given) throw EOptionError(name + " is given twice");
    given = true;
  };
  bool unattendedGiven = false, atomicGiven = false, tlsGiven = false, caGiven = false;
  bool locationGiven = false, altitudeGiven = false, scheduleGiven = false;
  bool statusGiven = false, pageGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    // "--name=value" or "--name value".
    auto valueOf = [&](const std::string& name, const std::string& form) {
      if (arg.size() > name.size()) return arg.substr(name.size() + 1);
      if (i + 1 == args.size()) throw EOptionError(name + " needs a value: " + form);
      return args[++i];
    };
    if (arg == "--help" || arg == "-h") {
      options.Help = true;
    } else if (arg == "--unattended") {
      once(unattendedGiven, arg);
      options.Unattended = true;
    } else if (arg == "--night-products") {
      options.Station.Night.Enabled = true;
    } else if (Names(arg, "--keep-days")) {
      options.Station.Retain.KeepDays = int(BoundOf(valueOf("--keep-days", "DAYS"), "--keep-days", 1, 36500));
    } else if (Names(arg, "--min-free")) {
      options.Station.Retain.MinFreeMb = BoundOf(valueOf("--min-free", "MB"), "--min-free", 1, int64_t(1) << 40);
    } else if (Names(arg, "--auto-exposure")) {
      options.Station.AutoExposure = arg == "--auto-exposure" ? kDefaultExposureTarget : TargetOf(arg.substr(16));
    } else if (arg == "--atomic-publish") {
      once(atomicGiven, arg);
      options.Station.AtomicPublish = true;
    } else if (arg == "--ftps") {
      once(tlsGiven, arg);
      options.Station.UploadTls = true;
    } else if (Names(arg, "--ftps-ca")) {
      once(caGiven, "--ftps-ca");
      options.Station.UploadTlsCAFile = valueOf("--ftps-ca", "a PEM file of CA certificates");
      if (options.Station.UploadTlsCAFile.empty()) throw EOptionError("--ftps-ca needs a file name");
      options.Station.UploadTls = true;
    } else if (Names(arg, "--upload-host")) {
      once(hostGiven, "--upload-host");
      SetUploadHost(options, valueOf("--upload-host", "HOST or HOST:PORT"), "--upload-host");
    } else if (arg == "--status-json" || arg == "--publish-page") {
      once(arg == "--status-json" ? statusGiven : pageGiven, arg);
      options.Station.Page.StatusRecord = true;  // the page reads the record
      options.Station.Page.PublishPage |= arg == "--publish-page";
    } else if (Names(arg, "--location")) {
      once(locationGiven, "--location");
      options.Station.Location = PlaceOf(valueOf("--location", "LAT,LON"), "--location");
    } else if (Names(arg, "--night-altitude")) {
      once(altitudeGiven, "--night-altitude");
      options.Station.NightAltitude = NightAltitudeOf(valueOf("--night-altitude", "DEGREES"));
    } else if (Names(arg, "--schedule")) {
      once(scheduleGiven, "--schedule");
      options.Schedule = true;
      // The day is optional: a following word that is no option is the day.
      if (arg != "--schedule" || (i + 1 < args.size() && args[i + 1].rfind('-', 0) != 0))
        options.ScheduleDate = DateOf(valueOf("--schedule", "YYYY-MM-DD"));
    } else {
      throw EOptionError("unknown option '" + arg + "' (see --help)");
    }
  }
  options.Station.Night.Place = options.Station.Location;
  if (options.Schedule && !options.Station.Location)
    throw EOptionError("--schedule needs the station's place: --location LAT,LON or KORV_LOCATION");
  return options;
}

std::string OptionsHelp(const std::string& program) {
  return "Usage: " + program + " [options] [Qt options such as -platform offscreen]\n"
         "\n"
         "  --upload-host HOST[:PORT]  FTP server that receives the live picture (default port 21);\n"
         "                             also KORV_UPLOAD_HOST in the environment, the option wins\n"
         "  --unattended               connect the camera and start taking pictures at once, with the\n"
         "                             account, interval and night preset of korv-cps.ini; retries\n"
         "                             the camera every interval while none answers\n"
         "  --atomic-publish           store each picture under a temporary name, then rename it\n"
         "                             over koftplive.jpg, so the web page never shows half a picture\n"
         "  --ftps                     upload over TLS (explicit FTPS): the account and the pictures\n"
         "                             never cross in clear, the server's certificate is checked\n"
         "                             against the system's CAs and the host name; also\n"
         "                             KORV_UPLOAD_TLS=1 in the environment\n"
         "  --ftps-ca FILE             trust the CA certificates in FILE (PEM) instead of the\n"
         "                             system's; implies --ftps\n"
         "  --status-json              after each picture also publish koftplive.json: when and how\n"
         "                             it was taken, how often pictures come, the last upload failure\n"
         "  --publish-page             also publish the live page (web/ beside the program) whenever\n"
         "                             its files differ from what was published; implies --status-json\n"
         "  --location LAT,LON         the station's place in decimal degrees, north and east positive\n"
         "                             (also KORV_LOCATION): day and night then switch when the sun's\n"
         "                             centre crosses the night altitude, not at the month's hours\n"
         "  --night-altitude DEG       the sun's altitude of the switch, -18 to 10 (default -6, civil\n"
         "                             twilight)\n"
         "  --schedule [YYYY-MM-DD]    print the day's switch times in local time (default today),\n"
         "                             'morning HH:MM' and 'evening HH:MM' or 'none', and exit\n"
         "  --night-products           keep the night's pictures and build its keogram, star trails and\n"
         "                             timelapse at the morning switch (korv-night, at low priority,\n"
         "                             at most 30 min); published with the live picture as\n"
         "                             keogram.jpg, startrails.jpg, timelapse.mp4 and under\n"
         "                             nights/YYYY-MM-DD/\n"
         "  --keep-days N              at each morning switch delete day folders and night products\n"
         "                             last changed more than N days ago\n"
         "  --min-free MB              delete the oldest day folders and night products while less than\n"
         "                             MB is free (never the run's folder nor a night not yet built)\n"
         "  --auto-exposure[=TARGET]   steer each picture's exposure time, ISO and (dusk) aperture by\n"
         "                             the brightness of the one before, towards a mean of TARGET\n"
         "                             (0.05 to 0.9 of white, default 0.30); a correction chosen in\n"
         "                             the lists pauses it until the next switch or Start\n"
         "  -h, --help                 this text\n";
}

}  // namespace korv
