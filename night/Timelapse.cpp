#include "night/Timelapse.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstdio>

namespace korv {

namespace {

// The 1080p frame: H.264 level 4.1, which every browser and player decodes,
// holds no larger one, and the encoder's memory grows with the frame.
constexpr int kMaxVideoWidth = 1920, kMaxVideoHeight = 1080;

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace

void FrameDeleter::operator()(AVFrame* frame) const { av_frame_free(&frame); }

void VideoSize(int width, int height, int* videoWidth, int* videoHeight) {
  if (width > kMaxVideoWidth) {
    height = int((int64_t(height) * kMaxVideoWidth + width / 2) / width);
    width = kMaxVideoWidth;
  }
  if (height > kMaxVideoHeight) {
    width = int((int64_t(width) * kMaxVideoHeight + height / 2) / height);
    height = kMaxVideoHeight;
  }
  *videoWidth = std::max(2, width & ~1);
  *videoHeight = std::max(2, height & ~1);
}

FrameScaler::~FrameScaler() { sws_freeContext(context_); }

VideoFrame FrameScaler::Scale(const RgbImage& image) {
  context_ = sws_getCachedContext(context_, image.Width, image.Height, AV_PIX_FMT_RGB24, width_, height_,
                                  AV_PIX_FMT_YUV420P, SWS_AREA, nullptr, nullptr, nullptr);
  VideoFrame frame(av_frame_alloc());
  if (!context_ || !frame) return nullptr;
  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = width_;
  frame->height = height_;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
  const uint8_t* source[1] = {image.Pixels.data()};
  int stride[1] = {image.Width * 3};
  sws_scale(context_, source, stride, 0, image.Height, frame->data, frame->linesize);
  return frame;
}

struct Timelapse::Parts {
  AVFormatContext* Format = nullptr;
  AVCodecContext* Codec = nullptr;
  AVStream* Stream = nullptr;
  AVPacket* Packet = nullptr;
  std::string Temporary;
  bool Finished = false;
  ~Parts() {
    if (Format && Format->pb) avio_closep(&Format->pb);
    avformat_free_context(Format);
    avcodec_free_context(&Codec);
    av_packet_free(&Packet);
    if (!Finished && !Temporary.empty()) std::remove(Temporary.c_str());
  }
};

Timelapse::Timelapse() : parts_(std::make_unique<Parts>()) {}
Timelapse::~Timelapse() = default;

bool Timelapse::Open(const std::string& path, int videoWidth, int videoHeight, int fps, std::string* problem) {
  path_ = path;
  av_log_set_level(AV_LOG_ERROR);
  Parts& p = *parts_;
  p.Temporary = path + ".part";
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  if (!codec) return *problem = "FFmpeg has no libx264 encoder", false;
  if (avformat_alloc_output_context2(&p.Format, nullptr, "mp4", p.Temporary.c_str()) < 0)
    return *problem = "FFmpeg has no MP4 writer", false;
  p.Codec = avcodec_alloc_context3(codec);
  p.Packet = av_packet_alloc();
  if (!p.Codec || !p.Packet) return *problem = "out of memory", false;
  p.Codec->width = videoWidth;
  p.Codec->height = videoHeight;
  p.Codec->pix_fmt = AV_PIX_FMT_YUV420P;
  // One encoding thread beside the two decoding ones keeps both cores busy;
  // each further frame thread holds frames of its own.
  p.Codec->thread_count = 1;
  p.Codec->time_base = {1, fps};
  p.Codec->framerate = {fps, 1};
  if (p.Format->oformat->flags & AVFMT_GLOBALHEADER) p.Codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  av_opt_set(p.Codec->priv_data, "preset", "medium", 0);
  av_opt_set(p.Codec->priv_data, "crf", "23", 0);
  // The only departure from x264's defaults: a lookahead of 10 frames, not
  // 40, holds the encoder within 256 MB at 1080p; CRF keeps the quality.
  av_opt_set(p.Codec->priv_data, "rc-lookahead", "10", 0);
  int code = avcodec_open2(p.Codec, codec, nullptr);
  if (code < 0) return *problem = "H.264 encoder: " + AvError(code), false;
  p.Stream = avformat_new_stream(p.Format, nullptr);
  if (!p.Stream) return *problem = "out of memory", false;
  p.Stream->time_base = p.Codec->time_base;
  avcodec_parameters_from_context(p.Stream->codecpar, p.Codec);
  if ((code = avio_open(&p.Format->pb, p.Temporary.c_str(), AVIO_FLAG_WRITE)) < 0)
    return *problem = p.Temporary + ": " + AvError(code), false;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "movflags", "+faststart", 0);
  code = avformat_write_header(p.Format, &options);
  av_dict_free(&options);
  if (code < 0) return *problem = p.Temporary + ": " + AvError(code), false;
  return true;
}

bool Timelapse::Drain(std::string* problem) {
  Parts& p = *parts_;
  for (;;) {
    int code = avcodec_receive_packet(p.Codec, p.Packet);
    if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return true;
    if (code < 0) return *problem = "H.264 encoder: " + AvError(code), false;
    av_packet_rescale_ts(p.Packet, p.Codec->time_base, p.Stream->time_base);
    p.Packet->stream_index = p.Stream->index;
    code = av_interleaved_write_frame(p.Format, p.Packet);
    if (code < 0) return *problem = p.Temporary + ": " + AvError(code), false;
  }
}

bool Timelapse::Add(VideoFrame frame, std::string* problem) {
  frame->pts = frames_++;
  int code = avcodec_send_frame(parts_->Codec, frame.get());
  if (code < 0) return *problem = "H.264 encoder: " + AvError(code), false;
  return Drain(problem);
}

bool Timelapse::Finish(std::string* problem) {
  Parts& p = *parts_;
  int code = avcodec_send_frame(p.Codec, nullptr);
  if (code < 0) return *problem = "H.264 encoder: " + AvError(code), false;
  if (!Drain(problem)) return false;
  if ((code = av_write_trailer(p.Format)) < 0) return *problem = p.Temporary + ": " + AvError(code), false;
  if ((code = avio_closep(&p.Format->pb)) < 0) return *problem = p.Temporary + ": " + AvError(code), false;
  if (std::rename(p.Temporary.c_str(), path_.c_str()) != 0) return *problem = path_ + ": cannot rename", false;
  p.Finished = true;
  return true;
}

}  // namespace korv
