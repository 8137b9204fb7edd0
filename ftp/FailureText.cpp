#include "ftp/FailureText.h"

#include "ftp/IdException.h"

namespace korv {

std::string FailureText(const std::exception& e) {
  std::string text = e.what();
  if (const auto* reply = dynamic_cast<const EIdProtocolReplyError*>(&e))
    text = std::to_string(reply->ReplyCode) + " " + text;
  // One line: the lines of a reply or a socket error joined by blanks.
  std::string line;
  for (char c : text) {
    if (c == '\r' || c == '\n') c = ' ';
    if (c != ' ' || (!line.empty() && line.back() != ' ')) line += c;
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace korv
