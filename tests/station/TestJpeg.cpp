#include "tests/station/TestJpeg.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace korv::test {

std::vector<uint8_t> MakeJpeg(int width, int height, bool grey, int noise, int quality, bool progressive) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr error;
  cinfo.err = jpeg_std_error(&error);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = grey ? 1 : 3;
  cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<size_t>(width * cinfo.input_components));
  uint32_t random = 12345;
  auto level = [&](int value) {
    if (noise > 0) {
      random = random * 1103515245u + 12345u;
      value += static_cast<int>((random >> 16) % static_cast<uint32_t>(2 * noise + 1)) - noise;
    }
    return static_cast<JSAMPLE>(std::clamp(value, 0, 255));
  };
  while (cinfo.next_scanline < cinfo.image_height) {
    int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < width; ++x) {
      JSAMPLE* pixel = &row[static_cast<size_t>(x * cinfo.input_components)];
      pixel[0] = level(x * 255 / width);
      if (!grey) {
        pixel[1] = level(y * 255 / height);
        pixel[2] = level(160);
      }
    }
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> jpeg(buffer, buffer + size);
  std::free(buffer);
  return jpeg;
}

}  // namespace korv::test
