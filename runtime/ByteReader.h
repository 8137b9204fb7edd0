// Bounds-checked little-endian reading of byte records that come from
// outside the program (camera libraries, devices, peers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace korv {

// A cursor over a byte range. A read past the end yields zeros (or nothing)
// and makes the failure stick: every later read fails too, so a parser reads
// a whole record and checks `Ok()` once at the end. Memory outside the range
// is never touched.
class ByteReader {
public:
  ByteReader(const void* data, size_t size) : Data(static_cast<const uint8_t*>(data)), Size(size) {}
  explicit ByteReader(std::span<const uint8_t> bytes) : ByteReader(bytes.data(), bytes.size()) {}

  uint8_t U8() { return static_cast<uint8_t>(Read(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Read(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Read(4)); }
  uint64_t U64() { return Read(8); }
  // A value whose width (1 to 8 bytes) the record itself declares.
  uint64_t Unsigned(size_t width) { return width >= 1 && width <= 8 ? Read(width) : (Failed = true, 0); }

  // The next `count` bytes, or an empty span when fewer are left.
  std::span<const uint8_t> Bytes(size_t count);
  // A fixed-size text field: the bytes up to the first zero within `count`.
  std::string Text(size_t count);
  void Skip(size_t count) { Bytes(count); }
  // Moves to an absolute offset; an offset past the end fails.
  void Seek(size_t offset);

  size_t Offset() const { return Pos; }
  size_t Remaining() const { return Failed ? 0 : Size - Pos; }
  bool Ok() const { return !Failed; }

private:
  uint64_t Read(size_t width);
  bool Take(size_t count);

  const uint8_t* Data;
  size_t Size;
  size_t Pos = 0;
  bool Failed = false;
};

}  // namespace korv
