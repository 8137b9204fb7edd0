// Small text files read and written whole, line by line.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace korv {

// More than any of the station's small files ever holds.
inline constexpr size_t kMaxTextFileBytes = 64 * 1024;

// The lines of a text file, without their ends (CR LF or a bare LF), or
// nothing when there is no such file. A file that is there but can't be
// read raises EInOutError: no permission, a read error, more than
// `maxBytes`, or not a regular file at all (a FIFO, folder or device, which
// is never waited on).
std::optional<std::vector<std::string>> ReadTextLines(const std::string& path, size_t maxBytes = kMaxTextFileBytes);

// Replaces the file by the given lines, each ended by CR LF. The new content
// goes to a temporary file in the same folder, is flushed to disk and then
// renamed over the old file, and the folder is flushed too, so a crash
// leaves either the old or the new file, never a truncated one. The file
// gets `mode` as its permissions. A failure raises EInOutError; the old file
// stays as it was unless the failure is the folder's flush after the rename.
void WriteTextLines(const std::string& path, const std::vector<std::string>& lines, mode_t mode = 0644);

// Removes the temporary files that writes of `path` left behind when they
// were cut short by a crash; returns how many there were.
int RemoveLeftoverTemporaries(const std::string& path);

namespace testing {
// Makes the next write fail just before its rename, as a crash would.
void FailNextWriteBeforeRename();
}  // namespace testing

}  // namespace korv
