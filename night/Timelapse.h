// The night's video: H.264 (libx264's defaults: preset medium, CRF 23), yuv420p,
// in an MP4 file whose index stands at the front, so that a browser starts
// playing it before it is all loaded. Written under a temporary name and
// renamed when complete.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "night/Jpeg.h"

struct AVFrame;
struct SwsContext;

namespace korv {

struct FrameDeleter {
  void operator()(AVFrame* frame) const;
};
using VideoFrame = std::unique_ptr<AVFrame, FrameDeleter>;

// The video's size for pictures of `width` x `height`: within 1920x1080 (1080p), the
// aspect kept, both sides even.
void VideoSize(int width, int height, int* videoWidth, int* videoHeight);

// Turns pictures into video frames of one size; one per thread.
class FrameScaler {
public:
  FrameScaler(int videoWidth, int videoHeight) : width_(videoWidth), height_(videoHeight) {}
  ~FrameScaler();
  VideoFrame Scale(const RgbImage& image);  // nullptr when out of memory

private:
  int width_, height_;
  SwsContext* context_ = nullptr;
};

class Timelapse {
public:
  Timelapse();
  ~Timelapse();  // a video not finished is removed
  bool Open(const std::string& path, int videoWidth, int videoHeight, int fps, std::string* problem);
  bool Add(VideoFrame frame, std::string* problem);
  bool Finish(std::string* problem);  // writes the index, renames to the path
  int64_t Frames() const { return frames_; }

private:
  bool Drain(std::string* problem);
  struct Parts;
  std::unique_ptr<Parts> parts_;
  std::string path_;
  int64_t frames_ = 0;
};

}  // namespace korv
