// The station's command line: what an operator may set beyond the window.
// Started without options the station behaves exactly as its window says.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "runtime/Exception.h"
#include "station/Station.h"
#include "station/Sun.h"

namespace korv {

struct StationOptions {
  StationConfig Station;   // upload host, TLS, atomic publishing, place: what the station is given
  bool Unattended = false;  // connect and start by itself, from the settings file
  bool Help = false;
  bool Schedule = false;                   // print the day's switch times and exit
  std::optional<CivilDate> ScheduleDate;   // nothing: today
};

// A command line that cannot be followed; the program says why and exits 2.
class EOptionError : public Exception {
public:
  using Exception::Exception;
};

// The environment variables the options may also come from; nullptr or
// empty when unset. An option on the command line wins.
struct OptionsEnvironment {
  const char* UploadHost = nullptr;  // KORV_UPLOAD_HOST
  const char* UploadTls = nullptr;   // KORV_UPLOAD_TLS, "1" or "0"
  const char* Location = nullptr;    // KORV_LOCATION
};

// `args` are the arguments after the program name, once Qt has taken its own
// (-platform …). The upload host comes from --upload-host, else from the
// environment, else is `defaultHost`; TLS is on with --ftps, --ftps-ca or
// KORV_UPLOAD_TLS "1"; the place from --location, else from the environment.
// Raises EOptionError for an unknown option, a missing or malformed value, an
// option given twice, or --schedule without a place. Whether the CA file
// holds certificates is for the program to check.
StationOptions ParseOptions(const std::vector<std::string>& args, const OptionsEnvironment& environment,
                            const std::string& defaultHost);

// Whether the line asks for --schedule, which is answered before any window.
bool AsksForSchedule(const std::vector<std::string>& args);

// "HOST" or "HOST:PORT" (a DNS name or a dotted IPv4 address; port 1..65535)
// into `options`; raises EOptionError naming `origin` when malformed.
void SetUploadHost(StationOptions& options, const std::string& text, const std::string& origin);

// The --help text.
std::string OptionsHelp(const std::string& program);

}  // namespace korv
