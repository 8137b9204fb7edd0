#include "ftp/IdRFCReply.h"

#include "ftp/IdGlobal.h"
#include "runtime/Convert.h"

namespace korv {

void TIdRFCReply::SetTextCode(const std::string& code) {
  Code = code;
  if (!code.empty()) NumericCode = StrToIntDef(code, 0);
}

void TIdRFCReply::Clear() {
  NumericCode = 0;
  Code.clear();
  Text.clear();
}

void TIdRFCReply::ParseReply(const std::vector<std::string>& lines) {
  Clear();
  if (lines.empty()) return;
  std::string code = Trim(std::string_view(lines[0]).substr(0, 4));
  if (code.size() == 4 && code[3] == '-') code.pop_back();
  SetTextCode(code);
  const std::string_view prefix = std::string_view(lines[0]).substr(0, 3);
  for (const std::string& line : lines) {
    std::string text = Trim(line);
    const bool numbered = &line == &lines[0] || (line.size() >= 3 && SameText(line.substr(0, 3), prefix) &&
                                                 (line.size() == 3 || line[3] == '-' || line[3] == ' '));
    Text.push_back(!numbered ? text : text.size() > 4 ? text.substr(4) : "");
  }
}

}  // namespace korv
