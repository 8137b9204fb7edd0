#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "runtime/ByteReader.h"

namespace korv {

TEST(ByteReader, ReadsLittleEndianFieldsInOrder) {
  const std::array<uint8_t, 15> bytes{1, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 'E', 'O', 'S', 0, 'x', 9, 9, 9};
  ByteReader in(bytes.data(), bytes.size());
  EXPECT_EQ(in.U8(), 1);
  EXPECT_EQ(in.U16(), 0x1234);
  EXPECT_EQ(in.U32(), 0x12345678u);
  EXPECT_EQ(in.Text(5), "EOS");
  EXPECT_EQ(in.Remaining(), 3u);
  in.Seek(1);
  EXPECT_EQ(in.U16(), 0x1234);
  EXPECT_TRUE(in.Ok());
}

TEST(ByteReader, ValuesOfADeclaredWidth) {
  const std::array<uint8_t, 7> bytes{0x01, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12};
  ByteReader in(bytes.data(), bytes.size());
  EXPECT_EQ(in.Unsigned(1), 1u);
  EXPECT_EQ(in.Unsigned(2), 0x1234u);
  EXPECT_EQ(in.Unsigned(4), 0x12345678u);
  EXPECT_TRUE(in.Ok());
  ByteReader odd(bytes.data(), bytes.size());
  EXPECT_EQ(odd.Unsigned(0), 0u);
  EXPECT_FALSE(odd.Ok());
  ByteReader wide(bytes.data(), bytes.size());
  EXPECT_EQ(wide.Unsigned(9), 0u);
  EXPECT_FALSE(wide.Ok());
}

TEST(ByteReader, FirstFailureSticksAndYieldsZeros) {
  const std::array<uint8_t, 3> bytes{0xFF, 0xFF, 0xFF};
  ByteReader in(bytes.data(), bytes.size());
  EXPECT_EQ(in.U32(), 0u);
  EXPECT_FALSE(in.Ok());
  EXPECT_EQ(in.U8(), 0u);  // would fit, but the failure sticks
  EXPECT_TRUE(in.Bytes(1).empty());
  EXPECT_EQ(in.Remaining(), 0u);

  ByteReader seek(bytes.data(), bytes.size());
  seek.Seek(4);
  EXPECT_FALSE(seek.Ok());
}

TEST(ByteReader, RandomReadsNeverLeaveTheBuffer) {
  std::mt19937 random(7);
  for (int round = 0; round < 500; ++round) {
    std::vector<uint8_t> bytes(random() % 64);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    ByteReader in(bytes.data(), bytes.size());
    for (int step = 0; step < 40; ++step) {
      switch (random() % 6) {
        case 0: in.U8(); break;
        case 1: in.U16(); break;
        case 2: in.U32(); break;
        case 3: in.U64(); break;
        case 4: in.Text(random() % 20); break;
        default: in.Seek(random() % 80); break;
      }
    }
    EXPECT_LE(in.Offset(), bytes.size());
  }
}

}  // namespace korv
