// Windows-1250, the single-byte code page of Central European Windows
// (Hungarian among them), in which the station's settings file is kept.
// Text inside the program is UTF-8; it meets this code page only where the
// bytes leave the program (the settings file, the FTP account on the wire).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korv {

// Every byte has a character: the five bytes the code page leaves unused
// stand for the control characters of the same number, so that any file
// read and written again comes back byte for byte.
std::string Cp1250ToUtf8(std::string_view bytes);

// The first character of UTF-8 text that Windows-1250 can't hold (itself in
// UTF-8; a byte that is not UTF-8 at all as "\xNN"), or nothing when all fit.
std::optional<std::string> FirstCharOutsideCp1250(std::string_view utf8);

// The Windows-1250 bytes of UTF-8 text. Nothing is ever replaced: a
// character outside the code page raises EConvertError naming it.
std::string Utf8ToCp1250(std::string_view utf8);

}  // namespace korv
