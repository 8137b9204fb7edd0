// Small text files read and written whole, line by line.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace korv {

// The lines of a text file, without their ends (CR LF or a bare LF), or
// nothing when the file can't be opened.
std::optional<std::vector<std::string>> ReadTextLines(const std::string& path);

// Replaces the file by the given lines, each ended by CR LF. The new content
// goes to a temporary file in the same folder, is flushed to disk and then
// renamed over the old file, so a crash leaves either the old or the new file,
// never a truncated one. The file gets `mode` as its permissions. A failure
// raises EInOutError and leaves the old file as it was.
void WriteTextLines(const std::string& path, const std::vector<std::string>& lines, mode_t mode = 0644);

namespace testing {
// Makes the next write fail just before its rename, as a crash would.
void FailNextWriteBeforeRename();
}  // namespace testing

}  // namespace korv
