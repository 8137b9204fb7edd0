#include "runtime/ProgramDir.h"

#include <unistd.h>

#include <climits>

namespace korv {

std::string ProgramDir() {
  char path[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string exe(path, static_cast<size_t>(n));
  auto slash = exe.rfind('/');
  return slash == 0 ? "/" : exe.substr(0, slash);
}

}  // namespace korv
