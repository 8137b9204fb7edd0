#include "page/PageFiles.h"

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "runtime/TextFile.h"
#include "station/PublishQueue.h"

namespace korv {

namespace {

// FNV-1a: tells a changed file from an unchanged one; nothing here is secret.
uint64_t ContentHash(const std::string& bytes) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

std::optional<std::string> ReadSmallFile(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  const auto size = std::filesystem::file_size(path, error);
  if (error || size > PageFiles::kMaxFileBytes) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return std::nullopt;
  return bytes;
}

}  // namespace

PageFiles::PageFiles(std::string webDir, std::string memoryPath)
    : WebDir(std::move(webDir)), MemoryPath(std::move(memoryPath)) {
  std::optional<std::vector<std::string>> lines;
  try {
    lines = ReadTextLines(MemoryPath);
  } catch (const std::exception&) {
    // An unreadable memory: everything is published again.
  }
  for (const auto& line : lines.value_or(std::vector<std::string>{})) {
    uint64_t hash = 0;
    int used = 0;
    if (std::sscanf(line.c_str(), "%16" SCNx64 " %n", &hash, &used) == 1 && used > 0 &&
        static_cast<size_t>(used) < line.size())
      Published[line.substr(static_cast<size_t>(used))] = hash;
  }
}

std::map<std::string, uint64_t> PageFiles::Current() const {
  std::map<std::string, uint64_t> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(WebDir, error)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    if (auto bytes = ReadSmallFile(entry.path())) files[name] = ContentHash(*bytes);
  }
  return files;
}

std::vector<std::string> PageFiles::Changed() const { return ChangedIn(Current()); }

std::vector<std::string> PageFiles::ChangedIn(const std::map<std::string, uint64_t>& current) const {
  std::vector<std::string> names;
  for (const auto& [name, hash] : current) {
    const auto queued = Queued.find(name);
    const auto published = Published.find(name);
    const bool known = queued != Queued.end() ? queued->second == hash
                                              : published != Published.end() && published->second == hash;
    if (!known) names.push_back(name);
  }
  return names;
}

int PageFiles::QueueChanged(PublishQueue& queue) {
  bool published = false;
  for (auto it = Queued.begin(); it != Queued.end();) {
    if (queue.IsPending(it->first)) {
      ++it;
      continue;
    }
    Published[it->first] = it->second;
    it = Queued.erase(it);
    published = true;
  }
  if (published) Remember();
  const auto current = Current();
  int count = 0;
  for (const auto& name : ChangedIn(current)) {
    queue.Add((std::filesystem::path(WebDir) / name).string(), name);
    Queued[name] = current.at(name);
    ++count;
  }
  return count;
}

void PageFiles::Remember() {
  std::vector<std::string> lines;
  char hash[17];
  for (const auto& [name, value] : Published) {
    std::snprintf(hash, sizeof hash, "%016" PRIx64, value);
    lines.push_back(std::string(hash) + " " + name);
  }
  try {
    WriteTextLines(MemoryPath, lines);
  } catch (const std::exception&) {
    // Only costs publishing them once more after a restart.
  }
}

}  // namespace korv
