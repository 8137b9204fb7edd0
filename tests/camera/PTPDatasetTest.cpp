// PTP datasets come from the camera: every prefix, every corruption and
// random bytes must parse without reading outside the bytes given (the
// tests run under AddressSanitizer; each dataset sits in a heap block of
// exactly its size).
#include "camera/sdkapi/PTPDataset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

namespace korv {
namespace {

// A copy in a heap block of exactly its size, so that a read past the end
// is caught.
struct ExactCopy {
  explicit ExactCopy(const std::vector<uint8_t>& bytes, size_t size)
      : Bytes(std::make_unique<uint8_t[]>(std::max<size_t>(size, 1))), Size(size) {
    std::copy_n(bytes.begin(), size, Bytes.get());
  }
  std::span<const uint8_t> span() const { return {Bytes.get(), Size}; }
  std::unique_ptr<uint8_t[]> Bytes;
  size_t Size;
};

bool IsPrefix(const std::vector<uint16_t>& part, const std::vector<uint16_t>& whole) {
  return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}
bool IsPrefix(const std::vector<uint32_t>& part, const std::vector<uint32_t>& whole) {
  return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

const PTPDeviceInfo Full{{0x1001, 0x1002, 0x9008, 0x900B, 0x9014}, {0x4006, 0xC008}, {0xD006, 0xD02A, 0xD040}};

TEST(PTPDataset, DeviceInfoRoundTripsToTheRequestedExtent) {
  const auto bytes = BuildDeviceInfo(Full);
  const auto operations = ParseDeviceInfo(bytes, DeviceInfoExtent::Operations);
  EXPECT_EQ(operations.Operations, Full.Operations);
  EXPECT_TRUE(operations.Events.empty());
  EXPECT_TRUE(operations.DeviceProperties.empty());
  const auto all = ParseDeviceInfo(bytes, DeviceInfoExtent::DeviceProperties);
  EXPECT_EQ(all.Operations, Full.Operations);
  EXPECT_EQ(all.Events, Full.Events);
  EXPECT_EQ(all.DeviceProperties, Full.DeviceProperties);
}

TEST(PTPDataset, EveryPrefixOfADeviceInfoKeepsOnlyWholeCodes) {
  const auto bytes = BuildDeviceInfo(Full);
  size_t listedAll = 0;
  for (size_t size = 0; size <= bytes.size(); ++size) {
    ExactCopy copy(bytes, size);
    const auto info = ParseDeviceInfo(copy.span(), DeviceInfoExtent::DeviceProperties);
    EXPECT_TRUE(IsPrefix(info.Operations, Full.Operations)) << size;
    EXPECT_TRUE(IsPrefix(info.Events, Full.Events)) << size;
    EXPECT_TRUE(IsPrefix(info.DeviceProperties, Full.DeviceProperties)) << size;
    if (info.DeviceProperties == Full.DeviceProperties) ++listedAll;
  }
  EXPECT_GT(listedAll, 0u);
}

TEST(PTPDataset, HugeCountsEndWithTheData) {
  PTPDeviceInfo info{{0x9008}, {}, {}};
  auto bytes = BuildDeviceInfo(info);
  // The operation count sits after the fixed head and the 15-character description.
  const size_t countAt = 2 + 4 + 2 + 1 + 2 * 15 + 2;
  for (size_t i = 0; i < 4; ++i) bytes[countAt + i] = 0xFF;
  ExactCopy copy(bytes, bytes.size());
  const auto parsed = ParseDeviceInfo(copy.span(), DeviceInfoExtent::DeviceProperties);
  EXPECT_EQ(parsed.Operations.front(), 0x9008);
  EXPECT_LE(parsed.Operations.size(), bytes.size() / 2);
  EXPECT_TRUE(parsed.DeviceProperties.empty());
}

TEST(PTPDataset, PropDescInBothFormsAndEveryPrefix) {
  struct Case {
    PTPPropDescProfile Profile;
    bool Range;
  };
  PTPPropDescProfile enumeration{0xD01E, PTPTypeUInt16, 2, true, 96, 104, PTPFormEnumeration, {16, 19, 21, 0x1234}};
  PTPPropDescProfile bytesWide{0xD017, PTPTypeInt8, 1, true, 0, 0xFF, PTPFormEnumeration, {0xFF, 0, 1}};
  PTPPropDescProfile range{0xD02A, PTPTypeUInt16, 2, true, 0, 5, PTPFormRange, {}, 0, 12, 1};
  for (const Case& c : {Case{enumeration, false}, Case{bytesWide, false}, Case{range, true}}) {
    const auto bytes = BuildPropDesc(c.Profile);
    for (size_t size = 0; size <= bytes.size(); ++size) {
      ExactCopy copy(bytes, size);
      const auto desc = c.Range ? ParseRangePropDesc(copy.span(), c.Profile.Width)
                                : ParseEnumerationPropDesc(copy.span(), c.Profile.Width);
      EXPECT_TRUE(IsPrefix(desc.Values, c.Profile.Values)) << size;
      EXPECT_EQ(desc.Current.value_or(c.Profile.Current), c.Profile.Current) << size;
      EXPECT_EQ(desc.Maximum.value_or(c.Profile.Maximum), c.Profile.Maximum) << size;
      if (size == bytes.size()) {
        EXPECT_EQ(desc.Current, c.Profile.Current);
        if (c.Range) EXPECT_EQ(desc.Step, c.Profile.Step);
        else EXPECT_EQ(desc.Values, c.Profile.Values);
      }
    }
  }
  // A range descriptor cut inside its maximum keeps the current value only.
  const auto bytes = BuildPropDesc(range);
  ExactCopy cut(bytes, bytes.size() - 3);
  const auto desc = ParseRangePropDesc(cut.span(), 2);
  EXPECT_EQ(desc.Current, 5u);
  EXPECT_EQ(desc.Minimum, 0u);
  EXPECT_FALSE(desc.Maximum.has_value());
}

TEST(PTPDataset, RandomAndCorruptedDatasetsStayInsideTheirBytes) {
  std::mt19937 random(20261208);
  const std::vector<std::vector<uint8_t>> valid = {
      BuildDeviceInfo(Full),
      BuildPropDesc({0xD01C, PTPTypeUInt16, 2, true, 0, 0x48, PTPFormEnumeration, {0, 0x40, 0x48, 0x50}}),
      BuildPropDesc({0xD02A, PTPTypeUInt16, 2, true, 0, 3, PTPFormRange, {}, 0, 12, 1})};
  for (int round = 0; round < 600; ++round) {
    std::vector<uint8_t> bytes;
    if (round % 2 == 0) {
      bytes.resize(random() % 96);
      for (auto& b : bytes) b = static_cast<uint8_t>(random());
    } else {
      // A valid dataset with a few bytes flipped and a random cut.
      bytes = valid[random() % valid.size()];
      for (int flips = 1 + random() % 4; flips > 0; --flips) bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
      bytes.resize(random() % (bytes.size() + 1));
    }
    ExactCopy copy(bytes, bytes.size());
    const auto info = ParseDeviceInfo(copy.span(), DeviceInfoExtent::DeviceProperties);
    const size_t codes = info.Operations.size() + info.Events.size() + info.DeviceProperties.size();
    EXPECT_LE(2 * codes, bytes.size());
    for (size_t width : {1u, 2u, 4u}) {
      const auto desc = ParseEnumerationPropDesc(copy.span(), width);
      EXPECT_LE(desc.Values.size() * width, bytes.size());
      ParseRangePropDesc(copy.span(), width);
    }
  }
}

}  // namespace
}  // namespace korv
