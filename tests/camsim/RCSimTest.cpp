// What the RC library stand-in adds to the shared source simulation: the
// property records, capture sessions and fetching by captured-image record.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "camera/sdk/RCAPI.h"
#include "tests/camsim/CamSimControl.h"
#include "tests/support/TempDir.h"

namespace korv {
namespace {

using test::SimulatedLibrary;

std::vector<std::array<uint32_t, 5>> Announced;

TSDKStatus OnRelease(uint32_t id, const void* data, uint32_t, uint32_t) {
  if (id == SDKReleaseEventImageReady) {
    std::array<uint32_t, 5> record;
    std::memcpy(record.data(), data, sizeof record);
    Announced.push_back(record);
  }
  return 0;
}

class RCSimulator : public ::testing::Test {
protected:
  void SetUp() override {
    Announced.clear();
    rc.LoadScenario(std::string("camera RC\nmodel EOS 5D\nowner Observatory\n") + test::FixedSky);
    TSDKHandle devices = 0;
    uint32_t count = 0;
    ASSERT_EQ(RCEnumDeviceReset(1, &devices), 0u);
    ASSERT_EQ(RCGetDeviceCount(devices, &count), 0u);
    ASSERT_EQ(count, 1u);
    std::array<uint8_t, SDKSourceRecordSize> record{};
    ASSERT_EQ(RCEnumDeviceNext(devices, record.data()), 0u);
    ASSERT_EQ(RCEnumDeviceRelease(devices), 0u);
    ASSERT_EQ(RCOpenSource(record.data(), &source), 0u);
  }
  void TearDown() override { rc.Reset(); }

  SimulatedLibrary& rc = SimulatedLibrary::RC();
  TSDKHandle source = 0;
  test::TempDir temp;
};

TEST_F(RCSimulator, PropertyRecordsCarryIdAndDataSize) {
  TSDKHandle properties = 0;
  ASSERT_EQ(RCEnumDevicePropertyReset(source, 0, &properties), 0u);
  std::vector<std::pair<uint32_t, uint32_t>> listed;
  for (TRCDevicePropertyRecord record{}; RCEnumDevicePropertyNext(properties, &record) == 0;)
    listed.emplace_back(record.Id, record.Size);
  EXPECT_EQ(RCEnumDevicePropertyRelease(properties), 0u);
  EXPECT_NE(std::find(listed.begin(), listed.end(), std::pair{SDKPropOwnerName, 12u}), listed.end());
  EXPECT_NE(std::find(listed.begin(), listed.end(), std::pair{SDKPropPowerState, 4u}), listed.end());
}

TEST_F(RCSimulator, CapturesOnlyInACaptureSessionAndReleasesOnlyInReleaseControl) {
  uint32_t count = 0;
  EXPECT_EQ(RCCapture(source), 0xF1u);
  ASSERT_EQ(RCStartCaptureSession(source, OnRelease, 7), 0u);
  EXPECT_EQ(RCRelease(source, 0, nullptr, 0, SDKProgressOption, &count), 0xF1u);
  ASSERT_EQ(RCSelectReleaseDataKind(source, SDKDataThumbnailToPC | SDKDataPictureToPC), 0u);
  ASSERT_EQ(RCCapture(source), 0u);
  ASSERT_EQ(Announced.size(), 2u);
  EXPECT_EQ(Announced[0][1], 16u);
  EXPECT_EQ(Announced[1][1], 32u);
  EXPECT_NE(Announced[0][0], Announced[1][0]);
}

TEST_F(RCSimulator, FetchesThePictureARecordNamesOnce) {
  ASSERT_EQ(RCStartCaptureSession(source, OnRelease, 7), 0u);
  ASSERT_EQ(RCCapture(source), 0u);
  ASSERT_EQ(Announced.size(), 1u);
  const std::string file = temp.file("p.jpg");
  const TSDKStorageRecord storage{0, file.c_str()};
  std::array<uint32_t, 5> unknown = Announced[0];
  unknown[0] += 1000;
  EXPECT_EQ(RCTakeCapturedImage(source, nullptr, 0, SDKProgressOption, unknown.data(), &storage), 0x60u);
  EXPECT_EQ(RCTakeCapturedImage(source, nullptr, 0, SDKProgressOption, Announced[0].data(), &storage), 0u);
  // The size the record announced is what reached the file.
  EXPECT_EQ(std::filesystem::file_size(file), Announced[0][2]);
  EXPECT_EQ(RCTakeCapturedImage(source, nullptr, 0, SDKProgressOption, Announced[0].data(), &storage), 0x60u);
}

TEST_F(RCSimulator, ABusyCameraRefusesTheFirstSettingsWrites) {
  rc.LoadScenario("camera RC\nmodel EOS 5D\nbusy 2\n");
  TSDKHandle devices = 0;
  std::array<uint8_t, SDKSourceRecordSize> record{};
  ASSERT_EQ(RCEnumDeviceReset(1, &devices), 0u);
  ASSERT_EQ(RCEnumDeviceNext(devices, record.data()), 0u);
  ASSERT_EQ(RCOpenSource(record.data(), &source), 0u);
  EXPECT_EQ(RCSetAvValue(source, 32), 0x81u);
  EXPECT_EQ(RCSetTvValue(source, 56), 0x81u);
  EXPECT_EQ(RCSetAvValue(source, 32), 0u);
}

TEST(RCScenario, BusyTakesOneNumber) {
  SimulatedLibrary& rc = SimulatedLibrary::RC();
  for (const char* line : {"busy", "busy x", "busy 1 2", "busy -1"})
    EXPECT_THROW(rc.LoadScenario(std::string("camera RC\n") + line + "\n"), std::runtime_error) << line;
  rc.Reset();
}

}  // namespace
}  // namespace korv
