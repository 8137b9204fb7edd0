#include "ftp/Stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "runtime/Exception.h"

namespace korv {

TFileStream::TFileStream(const std::string& path) : Path(path) {
  Fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) throw EFOpenError("Cannot open file \"" + path + "\". " + std::strerror(errno));
}

TFileStream::~TFileStream() { ::close(Fd); }

int64_t TFileStream::Size() {
  struct stat info {};
  if (::fstat(Fd, &info) != 0) throw EInOutError("Cannot read file \"" + Path + "\". " + std::strerror(errno));
  return info.st_size;
}

int64_t TFileStream::Position() { return ::lseek(Fd, 0, SEEK_CUR); }

void TFileStream::Seek(int64_t position) {
  if (::lseek(Fd, position, SEEK_SET) < 0)
    throw EInOutError("Cannot read file \"" + Path + "\". " + std::strerror(errno));
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  ssize_t got;
  do got = ::read(Fd, buffer, static_cast<size_t>(count));
  while (got < 0 && errno == EINTR);
  if (got < 0) throw EInOutError("Cannot read file \"" + Path + "\". " + std::strerror(errno));
  return got;
}

int64_t TStringStream::Read(void* buffer, int64_t count) {
  int64_t available = std::max<int64_t>(0, static_cast<int64_t>(Data.size()) - Pos);
  int64_t n = std::min(count, available);
  if (n > 0) std::memcpy(buffer, Data.data() + Pos, static_cast<size_t>(n));
  Pos += n;
  return n;
}

}  // namespace korv
