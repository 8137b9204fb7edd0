#include "ftp/IdBuffer.h"

#include "ftp/IdException.h"

namespace korv {

std::string TIdBuffer::Extract(size_t keep, size_t count) {
  if (count > Size() || keep > count) throw EIdNotEnoughDataInBuffer();
  std::string bytes(Data, Offset, keep);
  if (count == Size()) {
    Data.clear();
    Offset = 0;
  } else if ((Offset += count) >= CompactAfter) {
    Data.erase(0, Offset);
    Offset = 0;
  }
  if (OnConsumed) OnConsumed(count);
  return bytes;
}

void TIdBuffer::Clear() {
  Data.clear();
  Offset = 0;
}

}  // namespace korv
