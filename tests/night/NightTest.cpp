#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdlib>
#include <string>

#include "night/Jpeg.h"
#include "night/NightBuilder.h"
#include "night/Timelapse.h"
#include "tests/support/TempDir.h"

namespace korv {

namespace {

using test::TempDir;

constexpr int kWidth = 64, kHeight = 48;

// A flat grey picture with a brighter central column and an optional 8x8 star.
void WritePicture(const std::string& path, int grey, int column, int starX, int starY, int star) {
  RgbImage image{kWidth, kHeight, std::vector<uint8_t>(size_t(kWidth * kHeight * 3), uint8_t(grey))};
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      int value = x >= kWidth / 2 - 4 && x < kWidth / 2 + 4 ? column : grey;
      if (star && x >= starX && x < starX + 8 && y >= starY && y < starY + 8) value = star;
      std::fill_n(image.Row(y) + x * 3, 3, uint8_t(value));
    }
  std::string problem;
  ASSERT_TRUE(WriteJpegFile(path, image, 100, &problem)) << problem;
}

int Pixel(const RgbImage& image, int x, int y) { return image.Row(y)[x * 3 + 1]; }

}  // namespace

TEST(NightProducts, EachPictureInTheKeogramAndOnlyDarkOnesInTheTrails) {
  TempDir dir;
  WritePicture(dir.file("01.jpg"), 10, 60, 8, 8, 200);
  WritePicture(dir.file("02.JPG"), 10, 10, 40, 32, 180);
  WritePicture(dir.file("03.jpg"), 220, 230, 0, 0, 0);  // daylight: not in the trails
  test::WriteFile(dir.file("04.jpg"), "no JPEG at all");
  WritePicture(dir.file("05.jpeg"), 20, 120, 0, 0, 0);
  NightOptions options;
  options.OutDir = dir.path();
  NightSummary summary = BuildNight(NightPictures({dir.path()}), options);
  ASSERT_EQ(summary.Problem, "");
  EXPECT_EQ(summary.Pictures, 4u);
  EXPECT_EQ(summary.Skipped, 1u);
  EXPECT_EQ(summary.InTrails, 3u);
  EXPECT_FALSE(summary.TrailsFromDarkest);

  RgbImage keogram, trails;
  std::string problem;
  ASSERT_TRUE(DecodeJpegFile(dir.file("keogram.jpg"), 1 << 30, keogram, &problem)) << problem;
  ASSERT_TRUE(DecodeJpegFile(dir.file("startrails.jpg"), 1 << 30, trails, &problem)) << problem;
  EXPECT_EQ(keogram.Width, 4);
  EXPECT_EQ(keogram.Height, kHeight);
  EXPECT_EQ(trails.Width, kWidth);
  EXPECT_EQ(trails.Height, kHeight);
  struct Case {
    const char* what;
    const RgbImage& image;
    int x, y, value;
  } cases[] = {{"keogram, 1st picture's column", keogram, 0, 20, 60},
               {"keogram, 2nd picture's column", keogram, 1, 20, 10},
               {"keogram, the bright picture's column", keogram, 2, 20, 230},
               {"keogram, 5th picture's column", keogram, 3, 20, 120},
               {"trails, 1st picture's star", trails, 11, 11, 200},
               {"trails, 2nd picture's star", trails, 43, 35, 180},
               {"trails, the column's maximum", trails, 32, 40, 120},
               {"trails, sky without the bright picture", trails, 2, 40, 20}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_NEAR(Pixel(c.image, c.x, c.y), c.value, 4);
  }
}

TEST(NightProducts, TheDarkestPictureStandsInWhenNoneIsDarkEnough) {
  TempDir dir;
  WritePicture(dir.file("1.jpg"), 200, 200, 0, 0, 0);
  WritePicture(dir.file("2.jpg"), 150, 150, 0, 0, 0);
  NightOptions options;
  options.OutDir = dir.path();
  NightSummary summary = BuildNight(NightPictures({dir.path()}), options);
  ASSERT_EQ(summary.Problem, "");
  EXPECT_TRUE(summary.TrailsFromDarkest);
  RgbImage trails;
  std::string problem;
  ASSERT_TRUE(DecodeJpegFile(dir.file("startrails.jpg"), 1 << 30, trails, &problem));
  EXPECT_NEAR(Pixel(trails, 5, 5), 150, 4);
}

TEST(NightProducts, VideoIsH264WithItsIndexFirst) {
  TempDir dir;
  for (int i = 0; i < 7; ++i) WritePicture(dir.file("p" + std::to_string(i) + ".jpg"), 10 * i, 50, i * 4, 4, 250);
  NightOptions options;
  options.OutDir = dir.path();
  options.Fps = 10;
  ASSERT_EQ(BuildNight(NightPictures({dir.path()}), options).Problem, "");
  std::string path = dir.file("timelapse.mp4");
  AVFormatContext* format = nullptr;
  ASSERT_EQ(avformat_open_input(&format, path.c_str(), nullptr, nullptr), 0);
  ASSERT_GE(avformat_find_stream_info(format, nullptr), 0);
  AVStream* stream = format->streams[0];
  EXPECT_EQ(stream->codecpar->codec_id, AV_CODEC_ID_H264);
  EXPECT_EQ(stream->codecpar->format, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(stream->codecpar->width, kWidth);
  EXPECT_EQ(stream->codecpar->height, kHeight);
  EXPECT_EQ(stream->nb_frames, 7);
  EXPECT_EQ(stream->r_frame_rate.num / stream->r_frame_rate.den, 10);
  avformat_close_input(&format);
  std::string bytes = test::ReadFile(path);
  EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));
}

TEST(NightProducts, VideoSizeKeepsTheAspectEvenWithin1080p) {
  struct Case {
    int width, height, videoWidth, videoHeight;
  } cases[] = {{64, 48, 64, 48},     {2592, 1944, 1440, 1080}, {5472, 3648, 1620, 1080},
               {641, 481, 640, 480}, {3000, 3000, 1080, 1080},  {4000, 1000, 1920, 480}};
  for (const auto& c : cases) {
    int w = 0, h = 0;
    VideoSize(c.width, c.height, &w, &h);
    EXPECT_EQ(w, c.videoWidth) << c.width;
    EXPECT_EQ(h, c.videoHeight) << c.width;
  }
}

TEST(NightProducts, CommandEndsWithStatus2OnWhatItCannotDo) {
  TempDir dir;
  WritePicture(dir.file("1.jpg"), 10, 10, 0, 0, 0);
  std::string empty = dir.file("empty");
  test::WriteFile(dir.file("file"), "x");
  for (std::string arguments : {std::string("--fps 0 ") + dir.path(), std::string("--bogus ") + dir.path(),
                                std::string(""), "--out " + dir.file("file") + " " + dir.path(),
                                dir.file("nothing-here")}) {
    SCOPED_TRACE(arguments);
    int status = std::system(("./korv-night " + arguments + " >/dev/null 2>&1").c_str());
    EXPECT_EQ(WEXITSTATUS(status), 2);
  }
  EXPECT_EQ(std::system(("./korv-night --out " + dir.path() + " " + dir.path() + " >/dev/null").c_str()), 0);
}

}  // namespace korv
