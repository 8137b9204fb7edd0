// The preview of a saved picture: decoded by libjpeg at the smallest DCT
// scale whose result still covers the picture box, then stretched to it.
// Decoding at 1/8 of a camera's picture is many times faster than decoding
// it whole and scaling it down.
#pragma once

#include <QImage>
#include <QSize>

#include <cstdint>
#include <span>
#include <string>

#include "runtime/Exception.h"

namespace korv {

// A picture that libjpeg can't decode (corrupt, truncated, not a JPEG).
class EJPEG : public Exception {
public:
  using Exception::Exception;
};

// The largest of 8, 4, 2, 1 by which a width × height picture can be
// divided and still cover `box` (1 for a picture smaller than the box).
int PreviewScale(int width, int height, QSize box);

// JPEG data decoded at 1/`scale` (1, 2, 4 or 8) of its size.
QImage DecodeJpeg(std::span<const uint8_t> data, int scale);
// JPEG data decoded at the preview scale for `box`.
QImage DecodeJpegCovering(std::span<const uint8_t> data, QSize box);

// JPEG data decoded for `box` and stretched to it.
QImage PreviewOf(std::span<const uint8_t> data, QSize box);

// The picture in the file `path`, decoded for `box` and stretched to it.
// Raises EFOpenError when the file can't be read, EJPEG when it can't be decoded.
QImage LoadPreview(const std::string& path, QSize box);

}  // namespace korv
