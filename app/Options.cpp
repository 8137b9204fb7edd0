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
                            const std::string& defaultHost, const char* environmentTls) {
  StationOptions options;
  options.UploadHost = defaultHost;
  if (environmentHost && *environmentHost) SetUploadHost(options, environmentHost, "KORV_UPLOAD_HOST");
  if (environmentTls && *environmentTls) {
    const std::string value = environmentTls;
    if (value != "0" && value != "1") throw EOptionError("KORV_UPLOAD_TLS: '" + value + "' is neither 1 nor 0");
    options.Tls = value == "1";
  }

  bool hostGiven = false;
  auto once = [](bool& given, const std::string& name) {
    if (given) throw EOptionError(name + " is given twice");
    given = true;
  };
  bool unattendedGiven = false, atomicGiven = false, tlsGiven = false, caGiven = false;
  // "--name VALUE" or "--name=VALUE".
  auto value = [&](size_t& i, const std::string& name, const char* what) {
    const std::string& arg = args[i];
    if (arg.size() > name.size()) return arg.substr(name.size() + 1);
    if (i + 1 == args.size()) throw EOptionError(name + " needs a value: " + what);
    return args[++i];
  };
  auto is = [](const std::string& arg, const std::string& name) {
    return arg == name || arg.rfind(name + "=", 0) == 0;
  };
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
    } else if (arg == "--ftps") {
      once(tlsGiven, arg);
      options.Tls = true;
    } else if (is(arg, "--ftps-ca")) {
      once(caGiven, "--ftps-ca");
      options.TlsCAFile = value(i, "--ftps-ca", "a PEM file of CA certificates");
      if (options.TlsCAFile.empty()) throw EOptionError("--ftps-ca needs a file name");
      options.Tls = true;
    } else if (is(arg, "--upload-host")) {
      once(hostGiven, "--upload-host");
      SetUploadHost(options, value(i, "--upload-host", "HOST or HOST:PORT"), "--upload-host");
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
         "  --ftps                     upload over TLS (explicit FTPS): the account and the pictures\n"
         "                             never cross in clear, the server's certificate is checked\n"
         "                             against the system's CAs and the host name; also\n"
         "                             KORV_UPLOAD_TLS=1 in the environment\n"
         "  --ftps-ca FILE             trust the CA certificates in FILE (PEM) instead of the\n"
         "                             system's; implies --ftps\n"
         "  -h, --help                 this text\n";
}

}  // namespace korv
