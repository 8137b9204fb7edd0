#include "camera/sdkapi/PRDataBlock.h"

#include <cstring>

#include "runtime/ByteReader.h"

namespace korv {

PRDataPiece ReadPRDataBlock(const void* block) {
  ByteReader reader(block, PRDataBlockSize);
  PRDataPiece piece;
  reader.Seek(PRDataProgressOffset);
  piece.Percent = reader.U32();
  reader.Seek(PRDataLengthOffset);
  piece.Length = reader.U32();
  reader.Seek(PRDataPointerOffset);
  piece.Bytes = reinterpret_cast<const char*>(static_cast<uintptr_t>(reader.U64()));
  return piece;
}

void WritePRDataBlock(uint8_t (&block)[PRDataBlockSize], const PRDataPiece& piece) {
  std::memcpy(block + PRDataProgressOffset, &piece.Percent, sizeof piece.Percent);
  std::memcpy(block + PRDataLengthOffset, &piece.Length, sizeof piece.Length);
  std::memcpy(block + PRDataPointerOffset, &piece.Bytes, sizeof piece.Bytes);
}

}  // namespace korv
