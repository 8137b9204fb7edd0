#include "tests/support/TestCertificates.h"

#include <cstdlib>
#include <stdexcept>

#include "tests/support/TempDir.h"

namespace korv::test {
namespace {

void Run(const std::string& command) {
  if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) throw std::runtime_error("failed: " + command);
}

}  // namespace

TestCertificates::TestCertificates(const std::string& address) : Dir(std::make_unique<TempDir>()) {
  const std::string d = Dir->path() + "/";
  CA = d + "ca.crt", Key = d + "server.key";
  Good = d + "good.crt", Expired = d + "expired.crt", WrongName = d + "wrong-name.crt";
  SelfSigned = d + "self-signed.crt";
  Run("openssl req -x509 -newkey rsa:2048 -nodes -keyout " + d + "ca.key -out " + CA +
      " -subj /CN=korv-test-ca -days 30");
  Run("openssl req -new -newkey rsa:2048 -nodes -keyout " + Key + " -out " + d + "server.csr -subj /CN=" + address);
  auto sign = [&](const std::string& out, const std::string& names, const std::string& days, bool self) {
    WriteFile(out + ".ext", "subjectAltName=" + names + "\n");
    Run("openssl x509 -req -in " + d + "server.csr -days " + days + " -extfile " + out + ".ext -out " + out +
        (self ? " -signkey " + Key : " -CA " + CA + " -CAkey " + d + "ca.key -CAcreateserial"));
  };
  const std::string names = "IP:" + address + ",DNS:localhost";
  sign(Good, names, "30", false);
  sign(Expired, names, "-1", false);
  sign(WrongName, "IP:127.0.0.254,DNS:elsewhere.invalid", "30", false);
  sign(SelfSigned, names, "30", true);
}

TestCertificates::~TestCertificates() = default;

}  // namespace korv::test
