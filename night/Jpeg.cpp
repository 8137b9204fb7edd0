#include "night/Jpeg.h"

#include <jpeglib.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "runtime/ScopeExit.h"

namespace korv {

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return.
struct JpegFailure {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX] = {};
};

void JumpOut(j_common_ptr info) {
  auto* failure = reinterpret_cast<JpegFailure*>(info->err);
  info->err->format_message(info, failure->Message);
  std::longjmp(failure->Jump, 1);
}

bool ReadCapped(const std::string& path, std::vector<uint8_t>& bytes, std::string* problem) {
  std::error_code error;
  uint64_t size = std::filesystem::file_size(path, error);
  if (error) return *problem = error.message(), false;
  if (size > kMaxJpegFileBytes) return *problem = "larger than " + std::to_string(kMaxJpegFileBytes) + " bytes", false;
  std::ifstream in(path, std::ios::binary);
  bytes.resize(size);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size))) return *problem = "unreadable", false;
  return true;
}

// The steps between setjmp and the end: no C++ object with a destructor lives here.
void DecodeSteps(jpeg_decompress_struct* info, uint64_t maxPixels, bool headerOnly, RgbImage& image) {
  jpeg_read_header(info, TRUE);
  info->out_color_space = JCS_RGB;
  info->dct_method = JDCT_IFAST;
  info->do_fancy_upsampling = FALSE;
  info->scale_num = 1;
  info->scale_denom = 1;
  while (info->scale_denom < 8 &&
         uint64_t(info->image_width / info->scale_denom) * (info->image_height / info->scale_denom) > maxPixels)
    info->scale_denom *= 2;
  jpeg_calc_output_dimensions(info);
  image.Width = int(info->output_width);
  image.Height = int(info->output_height);
  if (headerOnly) return;
  image.Pixels.resize(size_t(image.Width) * size_t(image.Height) * 3);
  jpeg_start_decompress(info);
  while (info->output_scanline < info->output_height) {
    JSAMPROW row = image.Row(int(info->output_scanline));
    jpeg_read_scanlines(info, &row, 1);
  }
  jpeg_finish_decompress(info);
}

bool Decode(const std::string& path, uint64_t maxPixels, bool headerOnly, RgbImage& image, std::string* problem) {
  std::vector<uint8_t> bytes;
  if (!ReadCapped(path, bytes, problem)) return false;
  if (bytes.empty()) return *problem = "empty file", false;
  jpeg_decompress_struct info{};
  JpegFailure failure;
  info.err = jpeg_std_error(&failure.Manager);
  failure.Manager.error_exit = JumpOut;
  jpeg_create_decompress(&info);
  if (setjmp(failure.Jump)) {
    jpeg_destroy_decompress(&info);
    *problem = failure.Message;
    return false;
  }
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  DecodeSteps(&info, maxPixels, headerOnly, image);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

bool DecodeJpegFile(const std::string& path, uint64_t maxPixels, RgbImage& image, std::string* problem) {
  return Decode(path, maxPixels, false, image, problem);
}

bool ReadJpegSize(const std::string& path, uint64_t maxPixels, int* width, int* height, std::string* problem) {
  RgbImage image;
  if (!Decode(path, maxPixels, true, image, problem)) return false;
  *width = image.Width;
  *height = image.Height;
  return true;
}

namespace {

void EncodeSteps(jpeg_compress_struct* info, FILE* file, const RgbImage& image, int quality) {
  jpeg_stdio_dest(info, file);
  info->image_width = JDIMENSION(image.Width);
  info->image_height = JDIMENSION(image.Height);
  info->input_components = 3;
  info->in_color_space = JCS_RGB;
  jpeg_set_defaults(info);
  jpeg_set_quality(info, quality, TRUE);
  jpeg_start_compress(info, TRUE);
  while (info->next_scanline < info->image_height) {
    JSAMPROW row = const_cast<uint8_t*>(image.Row(int(info->next_scanline)));
    jpeg_write_scanlines(info, &row, 1);
  }
  jpeg_finish_compress(info);
}

}  // namespace

bool WriteJpegFile(const std::string& path, const RgbImage& image, int quality, std::string* problem) {
  std::string temporary = path + ".part";
  FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) return *problem = temporary + ": " + std::strerror(errno), false;
  bool renamed = false;
  auto cleanup = ScopeExit([&] {
    if (file) std::fclose(file);
    if (!renamed) std::remove(temporary.c_str());
  });
  jpeg_compress_struct info{};
  JpegFailure failure;
  info.err = jpeg_std_error(&failure.Manager);
  failure.Manager.error_exit = JumpOut;
  jpeg_create_compress(&info);
  if (setjmp(failure.Jump)) {
    jpeg_destroy_compress(&info);
    return *problem = path + ": " + failure.Message, false;
  }
  EncodeSteps(&info, file, image, quality);
  jpeg_destroy_compress(&info);
  bool written = std::fflush(file) == 0 && std::ferror(file) == 0;
  std::fclose(file);
  file = nullptr;
  if (!written || std::rename(temporary.c_str(), path.c_str()) != 0)
    return *problem = path + ": " + std::strerror(errno), false;
  renamed = true;
  return true;
}

}  // namespace korv
