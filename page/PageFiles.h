// The live page's own files (index.html, its script and style sheet),
// published beside the live picture whenever they differ from what was
// published last. What was published is remembered by content hash in a
// small file of the working folder, so a restart sends only what changed.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace korv {

class PublishQueue;

class PageFiles {
public:
  // A page file larger than this is no page file: it is left out.
  static constexpr size_t kMaxFileBytes = 4 * 1024 * 1024;

  // `webDir`: the folder of the page's files; `memoryPath`: the file that
  // remembers what was published.
  PageFiles(std::string webDir, std::string memoryPath);

  // The names of the page's files (regular files of webDir, not hidden)
  // whose content differs from what was published or queued, sorted.
  std::vector<std::string> Changed() const;

  // Queues the changed files under their own names and remembers those the
  // queue has published since the last call. Never raises: a file that
  // can't be read is tried again at the next call. Returns how many were queued.
  int QueueChanged(PublishQueue& queue);

private:
  // name -> content hash of the files in webDir.
  std::map<std::string, uint64_t> Current() const;
  std::vector<std::string> ChangedIn(const std::map<std::string, uint64_t>& current) const;
  void Remember();

  std::string WebDir, MemoryPath;
  std::map<std::string, uint64_t> Published;  // as the memory file says
  std::map<std::string, uint64_t> Queued;     // handed to the queue, not yet seen published
};

}  // namespace korv
