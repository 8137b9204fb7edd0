// The station's command line: what an operator may set beyond the window.
// Started without options the station behaves exactly as its window says.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/Exception.h"

namespace korv {

struct StationOptions {
  std::string UploadHost;   // the FTP server that receives the live picture
  uint16_t UploadPort = 21;
  bool Unattended = false;     // connect and start by itself, from the settings file
  bool AtomicPublish = false;  // store under a temporary name, then rename
  bool Tls = false;            // explicit FTP over TLS, never clear text
  std::string TlsCAFile;       // trusted instead of the system's CA store; implies Tls
  bool Help = false;
};

// A command line that cannot be followed; the program says why and exits 2.
class EOptionError : public Exception {
public:
  using Exception::Exception;
};

// `args` are the arguments after the program name, once Qt has taken its own
// (-platform …). The upload host comes from --upload-host, else from
// `environmentHost` (KORV_UPLOAD_HOST; nullptr or empty when unset), else is
// `defaultHost`. TLS is on with --ftps, --ftps-ca or `environmentTls`
// (KORV_UPLOAD_TLS) "1". Raises EOptionError for an unknown option, a
// missing or malformed value, or an option given twice. Whether the CA file
// holds certificates is for the program to check.
StationOptions ParseOptions(const std::vector<std::string>& args, const char* environmentHost,
                            const std::string& defaultHost, const char* environmentTls = nullptr);

// "HOST" or "HOST:PORT" (a DNS name or a dotted IPv4 address; port 1..65535)
// into `options`; raises EOptionError naming `origin` when malformed.
void SetUploadHost(StationOptions& options, const std::string& text, const std::string& origin);

// The --help text.
std::string OptionsHelp(const std::string& program);

}  // namespace korv
