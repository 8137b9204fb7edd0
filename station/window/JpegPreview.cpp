#include "station/window/JpegPreview.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <jpeglib.h>

#include "runtime/ScopeExit.h"

namespace korv {

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not
// return; it jumps back to the decoder, which then raises EJPEG. Warnings
// (a truncated or damaged stream that libjpeg would patch over) count as
// errors too: a half-grey preview of a broken file helps nobody.
struct ErrorJump {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JumpOut(j_common_ptr cinfo) {
  auto* error = reinterpret_cast<ErrorJump*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, error->Message);
  std::longjmp(error->Jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
  if (level < 0) JumpOut(cinfo);
}

// What decoding will hold at once: the picture it makes, and for a
// progressive (or otherwise multi-scan) picture the coefficients of the
// whole picture, kept until its last scan has arrived.
uint64_t MemoryNeeded(jpeg_decompress_struct* cinfo) {
  uint64_t bytes = uint64_t{cinfo->output_width} * cinfo->output_height * 4;
  if (jpeg_has_multiple_scans(cinfo)) {
    for (int i = 0; i < cinfo->num_components; ++i) {
      const jpeg_component_info& component = cinfo->comp_info[i];
      auto roundUp = [](uint64_t value, uint64_t step) { return (value + step - 1) / step * step; };
      bytes += roundUp(component.width_in_blocks, static_cast<uint64_t>(component.h_samp_factor)) *
               roundUp(component.height_in_blocks, static_cast<uint64_t>(component.v_samp_factor)) * sizeof(JBLOCK);
    }
  }
  return bytes;
}

// A picture beyond the bounds is refused from its header alone, before
// libjpeg allocates the picture's buffers or decodes any of it.
bool WithinBounds(jpeg_decompress_struct* cinfo, char* message) {
  constexpr uint64_t kMiB = 1024 * 1024;
  if (uint64_t{cinfo->image_width} * cinfo->image_height > kMaxPreviewPixels) {
    std::snprintf(message, JMSG_LENGTH_MAX,
                  "Picture too large for the preview: %ux%u pixels, more than %llu megapixels", cinfo->image_width, cinfo->image_height,
                  static_cast<unsigned long long>(kMaxPreviewPixels / 1'000'000));
    return false;
  }
  uint64_t needed = MemoryNeeded(cinfo);
  if (needed > kMaxDecodeMemory) {
    std::snprintf(message, JMSG_LENGTH_MAX, "Picture needs too much memory to decode: %llu MiB, more than %llu MiB",
                  static_cast<unsigned long long>((needed + kMiB - 1) / kMiB),
                  static_cast<unsigned long long>(kMaxDecodeMemory / kMiB));
    return false;
  }
  return true;
}

constexpr J_COLOR_SPACE kQImageRgb32 = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;

// The decode proper; libjpeg may jump out of it at any of its calls, so
// no object with a destructor is alive across them. `box` empty means
// decode at 1/`scale`; otherwise the scale is chosen for the box.
bool DecodeSteps(jpeg_decompress_struct* cinfo, int scale, QSize box, QImage* image, char* message) {
  jpeg_read_header(cinfo, TRUE);
  if (!box.isEmpty()) {
    scale = PreviewScale(static_cast<int>(cinfo->image_width), static_cast<int>(cinfo->image_height), box);
  }
  cinfo->scale_num = 1;
  cinfo->scale_denom = static_cast<unsigned>(scale);
  cinfo->out_color_space = kQImageRgb32;
  jpeg_calc_output_dimensions(cinfo);
  if (!WithinBounds(cinfo, message)) return false;
  jpeg_start_decompress(cinfo);
  *image = QImage(static_cast<int>(cinfo->output_width), static_cast<int>(cinfo->output_height), QImage::Format_RGB32);
  if (image->isNull()) {
    std::snprintf(message, JMSG_LENGTH_MAX, "Picture too large to decode (%ux%u)", cinfo->output_width,
                  cinfo->output_height);
    return false;
  }
  while (cinfo->output_scanline < cinfo->output_height) {
    JSAMPROW row = image->scanLine(static_cast<int>(cinfo->output_scanline));
    jpeg_read_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

bool Decode(const uint8_t* data, size_t size, int scale, QSize box, QImage* image, char* message) {
  jpeg_decompress_struct cinfo;
  ErrorJump error;
  cinfo.err = jpeg_std_error(&error.Manager);
  error.Manager.error_exit = JumpOut;
  error.Manager.emit_message = OnMessage;
  jpeg_create_decompress(&cinfo);
  // A backstop for libjpeg's own allocations, should an estimate fall short.
  cinfo.mem->max_memory_to_use = static_cast<long>(kMaxDecodeMemory);
  if (setjmp(error.Jump)) {
    jpeg_destroy_decompress(&cinfo);
    std::memcpy(message, error.Message, JMSG_LENGTH_MAX);
    return false;
  }
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  bool done = DecodeSteps(&cinfo, scale, box, image, message);
  jpeg_destroy_decompress(&cinfo);
  return done;
}

QImage DecodeOrRaise(std::span<const uint8_t> data, int scale, QSize box) {
  QImage image;
  char message[JMSG_LENGTH_MAX] = {};
  if (!Decode(data.data(), data.size(), scale, box, &image, message)) throw EJPEG(message);
  return image;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  // Non-blocking: a FIFO of that name is refused, not waited on.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw EFOpenError("Cannot open file \"" + path + "\". " + std::strerror(errno));
  auto closeFile = ScopeExit([fd] { ::close(fd); });
  auto fail = [&](const std::string& why) { throw EInOutError("Cannot read file \"" + path + "\": " + why); };
  struct stat info {};
  if (::fstat(fd, &info) != 0) fail(std::strerror(errno));
  if (!S_ISREG(info.st_mode)) fail("not a regular file");
  if (info.st_size > kMaxPictureFileBytes) fail("larger than " + std::to_string(kMaxPictureFileBytes) + " bytes");
  std::vector<uint8_t> data(static_cast<size_t>(info.st_size));
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::read(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail(std::strerror(errno));
    if (n == 0) fail("shorter than its size");
    done += static_cast<size_t>(n);
  }
  return data;
}

}  // namespace

int PreviewScale(int width, int height, QSize box) {
  for (int scale : {8, 4, 2}) {
    // libjpeg rounds scaled sizes up.
    if ((width + scale - 1) / scale >= box.width() && (height + scale - 1) / scale >= box.height()) return scale;
  }
  return 1;
}

QImage DecodeJpeg(std::span<const uint8_t> data, int scale) { return DecodeOrRaise(data, scale, QSize()); }

QImage DecodeJpegCovering(std::span<const uint8_t> data, QSize box) { return DecodeOrRaise(data, 1, box); }

QImage PreviewOf(std::span<const uint8_t> data, QSize box) {
  return DecodeJpegCovering(data, box).scaled(box, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage LoadPreview(const std::string& path, QSize box) { return PreviewOf(ReadWholeFile(path), box); }

}  // namespace korv
