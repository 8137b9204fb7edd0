// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include <string>

namespace korv::test {

class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return Path; }
  std::string file(const std::string& name) const { return Path + "/" + name; }

private:
  std::string Path;
};

// Whole file contents, or "" when it can't be read.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
// `size` bytes of a fixed pseudo-random sequence chosen by `seed`.
std::string RandomBytes(size_t size, unsigned seed);

}  // namespace korv::test
