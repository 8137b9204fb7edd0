#include "station/PublishQueue.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <stdexcept>

#include "ftp/FailureText.h"
#include "ftp/IdException.h"
#include "ftp/IdFTP.h"

namespace korv {

namespace {

// The parts of a remote path, each a plain name.
std::vector<std::string> PathParts(const std::string& path) {
  if (path.empty() || path.front() == '/') throw std::invalid_argument("not a relative remote path: " + path);
  for (unsigned char c : path)
    if (c < 0x20 || c == 0x7F) throw std::invalid_argument("control character in remote path: " + path);
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = std::min(path.find('/', start), path.size());
    std::string part = path.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") throw std::invalid_argument("bad remote path: " + path);
    parts.push_back(part);
    start = end + 1;
  }
  return parts;
}

}  // namespace

PublishQueue::PublishQueue(LogLine log) : Log(std::move(log)) {}

void PublishQueue::Add(const std::string& localPath, const std::string& remotePath) {
  PathParts(remotePath);
  std::erase_if(Entries, [&](const Entry& entry) { return entry.Remote == remotePath; });
  Entries.push_back({localPath, remotePath});
}

bool PublishQueue::IsPending(const std::string& remotePath) const {
  return std::any_of(Entries.begin(), Entries.end(), [&](const Entry& entry) { return entry.Remote == remotePath; });
}

void PublishQueue::Store(TIdFTP& ftp, const Entry& entry, std::vector<std::string>& folders) {
  std::vector<std::string> parts = PathParts(entry.Remote);
  std::string folder;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    folder += (i ? "/" : "") + parts[i];
    if (std::find(folders.begin(), folders.end(), folder) != folders.end()) continue;
    try {
      ftp.MakeDirectory(folder);
    } catch (const EIdProtocolReplyError& refused) {
      // Most likely there already; if not, the store below says so.
      if (refused.ReplyCode / 100 != 5) throw;
    }
    folders.push_back(folder);
  }
  const std::string part = entry.Remote + kPartSuffix;
  ftp.UploadFile(entry.Local, part, false);
  ftp.RenameOver(part, entry.Remote);
}

bool PublishQueue::Failed(Entry& entry, const std::exception& e) {
  Log("upload failed: " + entry.Remote + ": " + FailureText(e));
  if (++entry.Failures < kMaxAttempts) return true;
  Log("upload: " + entry.Remote + " dropped after " + std::to_string(kMaxAttempts) + " failed attempts");
  return false;
}

int PublishQueue::Publish(TIdFTP& ftp) {
  int published = 0;
  std::vector<std::string> folders;  // made or found in this session
  for (auto it = Entries.begin(); it != Entries.end() && ftp.IsConnected();) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(it->Local, error)) {
      Log("upload: " + it->Remote + " dropped: " + it->Local + " is gone");
      it = Entries.erase(it);
      continue;
    }
    try {
      Store(ftp, *it, folders);
      Log("upload: published " + it->Remote);
      ++published;
      it = Entries.erase(it);
    } catch (const std::exception& e) {
      it = Failed(*it, e) ? std::next(it) : Entries.erase(it);
    }
  }
  return published;
}

}  // namespace korv
