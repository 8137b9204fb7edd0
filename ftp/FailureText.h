// An upload's failure as one log line: the reply's code and text, or the
// socket or TLS error, its line breaks folded into blanks.
#pragma once

#include <exception>
#include <string>

namespace korv {

std::string FailureText(const std::exception& e);

}  // namespace korv
