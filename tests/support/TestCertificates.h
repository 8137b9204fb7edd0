// Certificates made for one test run with the openssl command, all for the
// same server key: a test CA, and for one server address a good certificate
// signed by it, an expired one, one naming another host, and a self-signed
// one. Each file lives as long as the object.
#pragma once

#include <memory>
#include <string>

namespace korv::test {

class TempDir;

class TestCertificates {
public:
  explicit TestCertificates(const std::string& address);
  ~TestCertificates();

  std::string CA;  // the test CA's certificate: the file to trust
  std::string Key;
  std::string Good, Expired, WrongName, SelfSigned;

private:
  std::unique_ptr<TempDir> Dir;
};

}  // namespace korv::test
