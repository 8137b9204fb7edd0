// One numbered server reply: the three-digit code and the text lines.
#pragma once

#include <string>
#include <vector>

namespace korv {

class TIdRFCReply {
public:
  int NumericCode = 0;
  std::vector<std::string> Text;

  const std::string& TextCode() const { return Code; }
  // A non-empty code sets NumericCode too (0 when it is not a number).
  void SetTextCode(const std::string& code);

  void Clear();
  // The reply of `lines` as read from the server: the code from the first
  // four characters of the first line (a hyphen there is dropped). The text
  // is every line trimmed, without its first four characters when it starts
  // with the code and a hyphen or blank (always so for the first line); the
  // other lines of a multi-line reply are text as they are.
  void ParseReply(const std::vector<std::string>& lines);

private:
  std::string Code;
};

}  // namespace korv
