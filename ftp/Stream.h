// Byte sources for uploads: a stream with a position, and its file and
// in-memory forms.
#pragma once

#include <cstdint>
#include <string>

namespace korv {

class TStream {
public:
  virtual ~TStream() = default;
  virtual int64_t Size() = 0;
  virtual int64_t Position() = 0;
  virtual void Seek(int64_t position) = 0;
  // Up to `count` bytes from the position on; 0 at the end.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
};

// A file opened for reading only; other programs may go on reading and
// writing it. A file that can't be opened raises EFOpenError.
class TFileStream : public TStream {
public:
  explicit TFileStream(const std::string& path);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Size() override;
  int64_t Position() override;
  void Seek(int64_t position) override;
  // A failed read raises EInOutError.
  int64_t Read(void* buffer, int64_t count) override;

private:
  std::string Path;
  int Fd = -1;
};

class TStringStream : public TStream {
public:
  explicit TStringStream(std::string data = "") : Data(std::move(data)) {}
  int64_t Size() override { return static_cast<int64_t>(Data.size()); }
  int64_t Position() override { return Pos; }
  void Seek(int64_t position) override { Pos = position; }
  int64_t Read(void* buffer, int64_t count) override;
  const std::string& DataString() const { return Data; }

private:
  std::string Data;
  int64_t Pos = 0;
};

}  // namespace korv
