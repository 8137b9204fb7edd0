// One upload session of the station's FTP client as the scripted server
// plays it: login, binary type, "public_html", an active-mode store of the
// live picture (or `name`), then `ending` (the server's answer to the store
// and after).
#pragma once

#include <string>
#include <vector>

#include "tests/support/ScriptedServer.h"

namespace korv::test {

inline std::vector<Step> StoreSession(const std::string& user, const std::string& password,
                                      const std::vector<Step>& ending,
                                      const std::string& name = "koftplive.jpg") {
  std::vector<Step> steps = {Send("220 ready\r\n"),      Expect("USER " + user),       Send("331 password\r\n"),
                             Expect("PASS " + password), Send("230 in\r\n"),           Expect("TYPE I"),
                             Send("200 binary\r\n"),     Expect("SYST"),               Send("215 UNIX Type: L8\r\n"),
                             Expect("CWD public_html"),  Send("250 ok\r\n"),           ExpectPort(),
                             Send("200 port\r\n"),       Expect("STOR " + name), Send("150 go\r\n"),
                             ConnectBack(),              ReceiveData()};
  steps.insert(steps.end(), ending.begin(), ending.end());
  return steps;
}

// `count` sessions one after the other, each on a connection of its own.
inline std::vector<Step> StoreSessions(int count, const std::vector<Step>& session) {
  std::vector<Step> steps;
  for (int i = 0; i < count; ++i) {
    if (i > 0) steps.push_back(NextConnection());
    steps.insert(steps.end(), session.begin(), session.end());
  }
  return steps;
}

}  // namespace korv::test
