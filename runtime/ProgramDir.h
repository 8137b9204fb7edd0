// The folder of the running executable.
#pragma once

#include <string>

namespace korv {

// Without a trailing "/".
std::string ProgramDir();

}  // namespace korv
