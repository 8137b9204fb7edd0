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

// The bounds of a preview, checked on the picture's header before anything
// is decoded: its size, and the memory its decoding holds at once (the
// decoded picture and, for a progressive picture, the coefficients of the
// whole picture). A picture file is read only up to its own bound.
inline constexpr uint64_t kMaxPreviewPixels = 100'000'000;
inline constexpr uint64_t kMaxDecodeMemory = 256 * 1024 * 1024;
inline constexpr int64_t kMaxPictureFileBytes = 64 * 1024 * 1024;

// The largest of 8, 4, 2, 1 by which a width × height picture can be
// divided and still cover `box` (1 for a picture smaller than the box).
int PreviewScale(int width, int height, QSize box);

// JPEG data decoded at 1/`scale` (1, 2, 4 or 8) of its size. A picture
// beyond the bounds raises EJPEG at once.
QImage DecodeJpeg(std::span<const uint8_t> data, int scale);
// JPEG data decoded at the preview scale for `box`.
QImage DecodeJpegCovering(std::span<const uint8_t> data, QSize box);

// JPEG data decoded for `box` and stretched to it.
QImage PreviewOf(std::span<const uint8_t> data, QSize box);

// The picture in the file `path`, decoded for `box` and stretched to it.
// Raises EFOpenError when the file can't be opened, EInOutError when it
// can't be read (not a regular file, larger than kMaxPictureFileBytes), EJPEG
// when it can't be decoded or is beyond the bounds.
QImage LoadPreview(const std::string& path, QSize box);

}  // namespace korv
