#include "runtime/ByteReader.h"

namespace korv {

bool ByteReader::Take(size_t count) {
  if (Failed || count > Size - Pos) {
    Failed = true;
    return false;
  }
  return true;
}

uint64_t ByteReader::Read(size_t width) {
  if (!Take(width)) return 0;
  uint64_t value = 0;
  for (size_t i = 0; i < width; ++i) value |= uint64_t{Data[Pos + i]} << (8 * i);
  Pos += width;
  return value;
}

std::span<const uint8_t> ByteReader::Bytes(size_t count) {
  if (!Take(count)) return {};
  std::span<const uint8_t> bytes(Data + Pos, count);
  Pos += count;
  return bytes;
}

std::string ByteReader::Text(size_t count) {
  auto bytes = Bytes(count);
  std::string text(bytes.begin(), bytes.end());
  if (auto zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
  return text;
}

void ByteReader::Seek(size_t offset) {
  if (Failed || offset > Size) {
    Failed = true;
    return;
  }
  Pos = offset;
}

}  // namespace korv
