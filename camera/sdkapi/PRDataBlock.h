// The block PRSDK.DLL gives its data callback for each piece of a picture:
// how far the transfer has come, and the piece itself. The libraries fill
// it; the component and the USB tools read it.
#pragma once

#include <cstdint>

#include "camera/sdkapi/SDKTypes.h"

namespace korv {

struct PRDataPiece {
  uint32_t Percent = 0;
  uint32_t Length = 0;          // 0 on the last call: the picture is whole
  const char* Bytes = nullptr;  // Length bytes, valid during the callback only
};

// `block` holds PRDataBlockSize bytes.
PRDataPiece ReadPRDataBlock(const void* block);
void WritePRDataBlock(uint8_t (&block)[PRDataBlockSize], const PRDataPiece& piece);

}  // namespace korv
