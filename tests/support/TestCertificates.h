// Certificates made for one test run with the openssl command, all for one
// server key: a test CA, and for one server address a good certificate that
// it signed, an expired one, one for another host, and a self-signed one.
#pragma once

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "tests/support/TempDir.h"

namespace korv::test {

struct TestCertificates {
  explicit TestCertificates(const std::string& address) {
    auto run = [](const std::string& command) {
      if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) throw std::runtime_error("failed: " + command);
    };
    const std::string d = Dir.path() + "/", rsa = " -newkey rsa:2048 -nodes -keyout ";
    run("openssl req -x509" + rsa + d + "ca.key -out " + CA + " -subj /CN=korv-test-ca -days 30");
    run("openssl req -new" + rsa + Key + " -out " + d + "server.csr -subj /CN=" + address);
    auto sign = [&](const std::string& out, const std::string& names, const char* days, bool self) {
      WriteFile(out + ".ext", "subjectAltName=" + names + "\n");
      run("openssl x509 -req -in " + d + "server.csr -days " + days + " -extfile " + out + ".ext -out " + out +
          (self ? " -signkey " + Key : " -CA " + CA + " -CAkey " + d + "ca.key -CAcreateserial"));
    };
    sign(Good, "IP:" + address + ",DNS:localhost", "30", false);
    sign(Expired, "IP:" + address, "-1", false);
    sign(WrongName, "IP:127.0.0.254,DNS:elsewhere.invalid", "30", false);
    sign(SelfSigned, "IP:" + address, "30", true);
  }

  TempDir Dir;
  std::string CA = Dir.file("ca.crt"), Key = Dir.file("server.key"), Good = Dir.file("good.crt"),
              Expired = Dir.file("expired.crt"), WrongName = Dir.file("wrong-name.crt"),
              SelfSigned = Dir.file("self-signed.crt");
};

}  // namespace korv::test
