#include "app/Options.h"

#include <algorithm>
#include <cctype>

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

}  // namespace

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
  options.UploadHost = host;
  options.UploadPort = port;
}

StationOptions ParseOptions(const std::vector<std::string>& args, const char* environmentHost,
                            const std::string& defaultHost) {
  StationOptions options;
  options.UploadHost = defaultHost;
  if (environmentHost && *environmentHost) SetUploadHost(options, environmentHost, "KORV_UPLOAD_HOST");

  bool hostGiven = false;
  auto once = [](bool& given, const std::string& name) {
    if (given) throw EOptionError(name + " is given twice");
    given = true;
  };
  bool unattendedGiven = false, atomicGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.Help = true;
    } else if (arg == "--unattended") {
      once(unattendedGiven, arg);
      options.Unattended = true;
    } else if (arg == "--atomic-publish") {
      once(atomicGiven, arg);
      options.AtomicPublish = true;
    } else if (arg == "--upload-host" || arg.rfind("--upload-host=", 0) == 0) {
      once(hostGiven, "--upload-host");
      std::string value;
      if (arg.size() > 13) {
        value = arg.substr(14);
      } else {
        if (i + 1 == args.size()) throw EOptionError("--upload-host needs a value: HOST or HOST:PORT");
        value = args[++i];
      }
      SetUploadHost(options, value, "--upload-host");
    } else {
      throw EOptionError("unknown option '" + arg + "' (see --help)");
    }
  }
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
         "  -h, --help                 this text\n";
}

}  // namespace korv
