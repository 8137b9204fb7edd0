// The camera side's one exception class and the texts of library status codes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "runtime/Exception.h"

namespace korv {

class ECamException : public Exception {
public:
  // `status`: the library status a failed call answered, 0 for other errors.
  explicit ECamException(std::string message, uint32_t status = 0)
      : Exception(std::move(message)), FStatus(status) {}
  uint32_t Status() const noexcept { return FStatus; }
  // The PC's files failed the call (the libraries' file errors, 0x20 to
  // 0x2F: a full disk, a folder that can't be written), not the camera.
  bool FileError() const noexcept {
    const uint32_t code = FStatus & 0xFFFF;
    return code >= 0x20 && code <= 0x2F;
  }

private:
  uint32_t FStatus;
};

// The status of the CD and RC libraries for a camera that is not (or no
// longer) attached.
constexpr uint32_t SDKStatusDeviceNotFound = 0x80;

// Texts of the CD library (shared by the RC library) and of the PR library;
// only the low 16 bits of the code are looked at, unknown codes give
// "Unkown error" (sic, as the library's own documentation spells it).
std::string_view CDErrorText(uint32_t code);
std::string_view PRErrorText(uint32_t code);

using ErrorTextFunction = std::string_view (*)(uint32_t code);

// Raises ECamException "<name> errorcode 0x<8 hex digits>, <text>" for a
// non-zero status; returns for 0.
void CheckResult(std::string_view functionName, uint32_t status, ErrorTextFunction text = CDErrorText);

}  // namespace korv
