#include <gtest/gtest.h>

#include <QColor>

#include "station/window/JpegPreview.h"
#include "tests/station/TestJpeg.h"
#include "tests/support/TempDir.h"

namespace korv::test {
namespace {

const QSize kBox(385, 281);

TEST(JpegPreviewTest, ScaleIsTheSmallestThatStillCoversTheBox) {
  struct Case {
    int Width, Height, Scale;
  };
  const Case cases[] = {
      {4000, 3000, 8}, {3080, 2248, 8}, {3080, 2241, 8},  // 2241 / 8 rounds up to 281
      {3072, 2248, 4}, {2592, 1944, 4}, {1600, 1200, 4},  {1540, 1124, 4},
      {1536, 1124, 2}, {800, 600, 2},   {770, 562, 2},    {768, 562, 1},
      {385, 281, 1},   {320, 240, 1},   {10000, 281, 1},  // too flat for any reduction
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Width << "x" << c.Height);
    EXPECT_EQ(PreviewScale(c.Width, c.Height, kBox), c.Scale);
  }
}

TEST(JpegPreviewTest, DecodesAtTheChosenScale) {
  std::vector<uint8_t> jpeg = MakeJpeg(1600, 1200);
  EXPECT_EQ(DecodeJpegCovering(jpeg, kBox).size(), QSize(400, 300));
  EXPECT_EQ(DecodeJpeg(jpeg, 1).size(), QSize(1600, 1200));
  EXPECT_EQ(DecodeJpeg(jpeg, 8).size(), QSize(200, 150));
}

TEST(JpegPreviewTest, ColoursComeOutRight) {
  QImage image = DecodeJpeg(MakeJpeg(64, 64), 1);
  QColor middle = image.pixelColor(32, 32);  // about (127, 127, 160)
  EXPECT_NEAR(middle.red(), 127, 6);
  EXPECT_NEAR(middle.green(), 127, 6);
  EXPECT_NEAR(middle.blue(), 160, 6);
  QColor grey = DecodeJpeg(MakeJpeg(64, 64, /*grey=*/true), 1).pixelColor(32, 32);
  EXPECT_NEAR(grey.red(), 127, 6);
  EXPECT_EQ(grey.red(), grey.blue());
}

TEST(JpegPreviewTest, LoadPreviewStretchesToTheBox) {
  TempDir folder;
  WriteFile(folder.file("000001.jpg"), [] {
    auto jpeg = MakeJpeg(2592, 1944);
    return std::string(jpeg.begin(), jpeg.end());
  }());
  EXPECT_EQ(LoadPreview(folder.file("000001.jpg"), kBox).size(), kBox);
  WriteFile(folder.file("small.jpg"), [] {
    auto jpeg = MakeJpeg(100, 50);
    return std::string(jpeg.begin(), jpeg.end());
  }());
  EXPECT_EQ(LoadPreview(folder.file("small.jpg"), kBox).size(), kBox);
}

TEST(JpegPreviewTest, BrokenFilesRaiseInsteadOfCrashing) {
  std::vector<uint8_t> good = MakeJpeg(800, 600);
  std::vector<std::pair<const char*, std::vector<uint8_t>>> broken = {
      {"empty", {}},
      {"not a jpeg", {'h', 'e', 'l', 'l', 'o'}},
      {"header only", {good.begin(), good.begin() + 200}},
      {"truncated", {good.begin(), good.begin() + static_cast<long>(good.size() / 2)}},
  };
  std::vector<uint8_t> garbled = good;
  for (size_t i = good.size() / 3; i < good.size() / 3 + 64; ++i) garbled[i] = 0xFF;
  broken.emplace_back("garbled", garbled);
  std::vector<uint8_t> cut = good;
  cut.resize(cut.size() - 2);  // no end marker
  broken.emplace_back("without end marker", cut);

  for (const auto& [name, data] : broken) {
    SCOPED_TRACE(name);
    EXPECT_THROW(DecodeJpegCovering(data, kBox), EJPEG);
    EXPECT_THROW(DecodeJpeg(data, 1), EJPEG);
  }
}

TEST(JpegPreviewTest, TruncatedFileNamesTheProblem) {
  std::vector<uint8_t> good = MakeJpeg(800, 600);
  good.resize(good.size() / 2);
  try {
    DecodeJpeg(good, 1);
    FAIL() << "no error";
  } catch (const EJPEG& e) {
    EXPECT_EQ(e.message(), "Premature end of JPEG file");
  }
}

// A small picture whose frame header claims another size, as a damaged or
// hostile file can.
std::vector<uint8_t> ClaimingSize(std::vector<uint8_t> jpeg, uint16_t width, uint16_t height) {
  for (size_t i = 0; i + 8 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
      jpeg[i + 5] = static_cast<uint8_t>(height >> 8);
      jpeg[i + 6] = static_cast<uint8_t>(height);
      jpeg[i + 7] = static_cast<uint8_t>(width >> 8);
      jpeg[i + 8] = static_cast<uint8_t>(width);
      return jpeg;
    }
  }
  ADD_FAILURE() << "no frame header";
  return jpeg;
}

TEST(JpegPreviewTest, PictureBeyondTheBoundsIsRefusedFromItsHeaderAlone) {
  const std::vector<uint8_t> baseline = MakeJpeg(16, 16);
  const std::vector<uint8_t> progressive = MakeJpeg(16, 16, false, 0, 85, /*progressive=*/true);
  ASSERT_LT(progressive.size(), 1500u);
  struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
    int Scale;  // 0: the preview's own
    const char* Message;
  };
  const char* tooLarge = "Picture too large for the preview: 65500x65500 pixels, more than 100 megapixels";
  const Case cases[] = {
      // Decoding went through all scans of 4 gigapixels before the bound.
      {"progressive 65500x65500", ClaimingSize(progressive, 65500, 65500), 0, tooLarge},
      {"baseline 65500x65500", ClaimingSize(baseline, 65500, 65500), 0, tooLarge},
      {"progressive 10000x10000", ClaimingSize(progressive, 10000, 10000), 0,
       "Picture needs too much memory to decode: 293 MiB, more than 256 MiB"},
      {"baseline 10000x8000 whole", ClaimingSize(baseline, 10000, 8000), 1,
       "Picture needs too much memory to decode: 306 MiB, more than 256 MiB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    try {
      c.Scale == 0 ? DecodeJpegCovering(c.Data, kBox) : DecodeJpeg(c.Data, c.Scale);
      ADD_FAILURE() << "no error";
    } catch (const EJPEG& e) {
      // These texts come only from the check on the header, made before
      // libjpeg starts decompressing.
      EXPECT_EQ(e.message(), c.Message);
    }
  }
  // A camera's progressive picture stays well inside.
  EXPECT_EQ(DecodeJpegCovering(MakeJpeg(2592, 1944, false, 0, 85, true), kBox).size(), QSize(648, 486));
}

TEST(JpegPreviewTest, MissingFileRaisesFileOpenError) {
  TempDir folder;
  EXPECT_THROW(LoadPreview(folder.file("none.jpg"), kBox), EFOpenError);
  EXPECT_THROW(LoadPreview(folder.path(), kBox), Exception);  // a folder
}

}  // namespace
}  // namespace korv::test
