// A disk that never fills: the station's old day folders and the night
// products kept beside them are deleted by age (at the morning switch) and,
// oldest first, whenever the working folder's file system runs short of
// free space. Never the run's own folder, never a night whose products are
// not built yet; with neither bound set nothing is ever deleted.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace korv {

struct RetentionConfig {
  int KeepDays = 0;       // 0: no bound by age
  int64_t MinFreeMb = 0;  // 0: no bound by free space
};

class Retention {
public:
  using LogLine = std::function<void(const std::string&)>;
  Retention(std::string folder, RetentionConfig config, LogLine log);

  // At the morning switch: folders whose last change is more than
  // KeepDays days before `nowUnix` (the station's clock, which the files'
  // time stamps are read by).
  void Expire(int64_t nowUnix, const std::string& currentDir);
  // At each tick: the oldest folders while less than MinFreeMb is free.
  void EnsureFree(const std::string& currentDir);

private:
  const std::string Folder;
  const RetentionConfig Config;
  LogLine Log;
  bool ShortageLogged = false;  // "nothing more may be deleted" once per shortage
};

}  // namespace korv
