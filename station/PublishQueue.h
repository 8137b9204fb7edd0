// Files published beside the live picture, in its FTP session and after it
// (the night's products, the status record, the page): each is stored under
// a temporary name and renamed over its own, so that a reader never finds
// half of one, and what fails stays queued for the next session.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace korv {

class TIdFTP;

class PublishQueue {
public:
  using LogLine = std::function<void(const std::string&)>;

  // Failed sessions that a file survives in the queue; then it is dropped.
  static constexpr int kMaxAttempts = 50;
  // What a file is stored as before it is renamed over its own name.
  static constexpr const char* kPartSuffix = ".part";

  explicit PublishQueue(LogLine log);

  // Queues `localPath` to be published as `remotePath`, relative to the live
  // picture's folder; its folders are made as needed. A newer entry for the
  // same remote path replaces the older one. Raises std::invalid_argument
  // for a remote path that is empty or absolute, has an empty, "." or ".."
  // part, or holds a control character.
  void Add(const std::string& localPath, const std::string& remotePath);

  // Publishes the queued files in their order through `ftp`, which is logged
  // in and in the live picture's folder. A file that fails stays queued and
  // the log says why; one whose local file is gone is dropped; a failure
  // that ends the session leaves the rest for the next. Never raises.
  // Returns how many files were published.
  int Publish(TIdFTP& ftp);

  size_t Pending() const { return Entries.size(); }
  bool IsPending(const std::string& remotePath) const;

private:
  struct Entry {
    std::string Local, Remote;
    int Failures = 0;
  };
  // Stores one entry; raises what the server or the connection raised.
  void Store(TIdFTP& ftp, const Entry& entry, std::vector<std::string>& folders);
  // Counts a failed attempt; false when the entry is to be dropped.
  bool Failed(Entry& entry, const std::exception& e);

  LogLine Log;
  std::vector<Entry> Entries;
};

}  // namespace korv
