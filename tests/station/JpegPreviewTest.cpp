#include <gtest/gtest.h>

#include <QColor>

#include "station/JpegPreview.h"
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

TEST(JpegPreviewTest, MissingFileRaisesFileOpenError) {
  TempDir folder;
  EXPECT_THROW(LoadPreview(folder.file("none.jpg"), kBox), EFOpenError);
  EXPECT_THROW(LoadPreview(folder.path(), kBox), Exception);  // a folder
}

}  // namespace
}  // namespace korv::test
