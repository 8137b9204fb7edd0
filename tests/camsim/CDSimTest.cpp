// The CD library stand-in answers as the CD backend relies on.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "camera/sdk/CDAPI.h"
#include "camera/sdk/PRAPI.h"
#include "camera/sdk/RCAPI.h"
#include "tests/camsim/CamSimControl.h"
#include "tests/support/TempDir.h"

namespace korv {
namespace {

using test::SimulatedLibrary;

struct Event {
  uint32_t Id, Word0, Context;
  std::thread::id Thread;
};
std::mutex EventsMutex;
std::vector<Event> Events;
std::vector<uint32_t> Progress;

TSDKStatus OnEvent(uint32_t id, const void* data, uint32_t, uint32_t context) {
  uint32_t word0 = 0;
  std::memcpy(&word0, data, sizeof word0);
  std::lock_guard lock(EventsMutex);
  Events.push_back({id, word0, context, std::this_thread::get_id()});
  return 0;
}

TSDKStatus OnProgress(uint32_t percent, uint32_t, uint32_t) {
  Progress.push_back(percent);
  return 0;
}

std::vector<Event> TakeEvents() {
  std::lock_guard lock(EventsMutex);
  return std::exchange(Events, {});
}

struct Jpeg {
  int Width = 0, Height = 0;
  double MeanLuma = -1;
};

Jpeg DecodeJpeg(const std::string& path) {
  std::string bytes = test::ReadFile(path);
  Jpeg result;
  if (bytes.size() < 4 || static_cast<uint8_t>(bytes[0]) != 0xFF || static_cast<uint8_t>(bytes[1]) != 0xD8)
    return result;
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_GRAYSCALE;
  jpeg_start_decompress(&info);
  std::vector<unsigned char> row(info.output_width);
  double sum = 0;
  while (info.output_scanline < info.output_height) {
    unsigned char* rows[] = {row.data()};
    jpeg_read_scanlines(&info, rows, 1);
    for (unsigned char v : row) sum += v;
  }
  result = {int(info.output_width), int(info.output_height), sum / (double(info.output_width) * info.output_height)};
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return result;
}

class CDSimulator : public ::testing::Test {
protected:
  void SetUp() override {
    LoadCDSDK();
    SimulatedLibrary::CD().LoadScenario(std::string("camera CD\n") + test::FixedSky);
    TakeEvents();
    Progress.clear();
  }
  void TearDown() override { SimulatedLibrary::CD().Reset(); }

  // The device records the library lists.
  std::vector<std::vector<uint8_t>> Devices() {
    TSDKHandle list = 0;
    uint32_t count = 0;
    EXPECT_EQ(CDEnumDeviceReset(1, &list), SDKOk);
    EXPECT_EQ(CDGetDeviceCount(list, &count), SDKOk);
    std::vector<std::vector<uint8_t>> records;
    for (uint32_t i = 0; i < count; ++i) {
      records.emplace_back(SDKSourceRecordSize);
      EXPECT_EQ(CDEnumDeviceNext(list, records.back().data()), SDKOk);
    }
    EXPECT_EQ(CDEnumDeviceRelease(list), SDKOk);
    return records;
  }

  TSDKHandle OpenFirst() {
    auto records = Devices();
    TSDKHandle source = 0;
    if (records.empty()) {
      ADD_FAILURE() << "no camera listed";
      return 0;
    }
    EXPECT_EQ(CDOpenSource(records[0].data(), &source), SDKOk);
    return source;
  }

  // Walks the property list to `id` as the backend does, then reads it.
  TSDKStatus ReadProperty(TSDKHandle source, uint32_t id, void* buffer, uint32_t& size) {
    TSDKHandle list = 0;
    uint32_t current = SDKPropEnumStart;
    TSDKStatus status = CDEnumDevicePropertyReset(source, 0, &list);
    while (status == SDKOk && current != id) status = CDEnumDevicePropertyNext(list, &current);
    if (status == SDKOk) status = CDGetDevicePropertyData(source, id, &size, buffer, 0);
    CDEnumDevicePropertyRelease(list);
    return status;
  }

  TSDKHandle OpenInReleaseControl(uint32_t dataKind = SDKDataPictureToPC) {
    TSDKHandle source = OpenFirst();
    EXPECT_EQ(CDEnterReleaseControl(source, OnEvent, 7), SDKOk);
    EXPECT_EQ(CDSelectReleaseDataKind(source, dataKind), SDKOk);
    return source;
  }

  test::TempDir Dir;
};

std::string Text(const std::vector<uint8_t>& record, size_t offset) {
  return std::string(reinterpret_cast<const char*>(record.data() + offset));
}

TEST_F(CDSimulator, ListsTheScenarioCamerasWithTheirNamesInTheSourceRecords) {
  auto records = Devices();
  ASSERT_EQ(records.size(), 1u) << "one PowerShot by default";
  EXPECT_EQ(Text(records[0], SDKSourceModelNameOffset), "Canon PowerShot G5");

  SimulatedLibrary::CD().LoadScenario(
      "camera CD\nmodel Canon PowerShot A80\nname Roof camera\n"
      "camera CD\nmodel Canon PowerShot S45\n"
      "camera RC\nmodel Canon EOS 10D\n");
  records = Devices();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(Text(records[0], SDKSourceModelNameOffset), "Canon PowerShot A80");
  EXPECT_EQ(Text(records[0], SDKSourceListNameOffset), "Roof camera");
  EXPECT_EQ(Text(records[1], SDKSourceListNameOffset), "Canon PowerShot S45");
}

TEST_F(CDSimulator, OpensASourceOnceAndRefusesRecordsOfAnEarlierScenario) {
  auto records = Devices();
  TSDKHandle source = 0, again = 0;
  ASSERT_EQ(CDOpenSource(records[0].data(), &source), SDKOk);
  EXPECT_EQ(CDOpenSource(records[0].data(), &again), 0x81u) << "device busy";
  SimulatedLibrary::CD().Reset();
  EXPECT_EQ(CDOpenSource(records[0].data(), &again), 0x80u) << "device not found";
  std::vector<uint8_t> garbage(SDKSourceRecordSize, 0xAB);
  EXPECT_EQ(CDOpenSource(garbage.data(), &again), 0x80u);
}

TEST_F(CDSimulator, AnswersOwnerAndPowerStateThroughThePropertyWalk) {
  SimulatedLibrary::CD().LoadScenario("camera CD\nowner Observatory Szeged\npower 0x30000004\n");
  TSDKHandle source = OpenFirst();
  char owner[32] = {};
  uint32_t size = sizeof owner;
  ASSERT_EQ(ReadProperty(source, SDKPropOwnerName, owner, size), SDKOk);
  EXPECT_STREQ(owner, "Observatory Szeged");
  uint32_t power = 0;
  size = sizeof power;
  ASSERT_EQ(ReadProperty(source, SDKPropPowerState, &power, size), SDKOk);
  EXPECT_EQ(power, 0x30000004u);
  EXPECT_EQ(size, 4u);
}

TEST_F(CDSimulator, ReportsTheFacultyWordAndZoomRange) {
  SimulatedLibrary::CD().LoadScenario("camera CD\nfaculty 0x40000002\nzoom 2 12 4\n");
  TSDKHandle source = OpenFirst();
  uint32_t faculty = 0, first = 0, second = 0, position = 0;
  EXPECT_EQ(CDGetReleaseControlFaculty(source, &faculty), SDKOk);
  EXPECT_EQ(faculty, 0x40000002u);
  EXPECT_EQ(CDGetMaximumZoomPos(source, &first, &second), SDKOk);
  EXPECT_EQ(first, 12u);
  EXPECT_EQ(second, 4u);
  EXPECT_EQ(CDSetZoomPos(source, 9), SDKOk);
  EXPECT_EQ(CDGetZoomPos(source, &position), SDKOk);
  EXPECT_EQ(position, 9u);
  EXPECT_NE(CDSetZoomPos(source, 13), SDKOk);
}

TEST_F(CDSimulator, ListsListableSettingsAndRefusesToListTheOthers) {
  SimulatedLibrary::CD().LoadScenario("camera CD\nsetting WhiteBalance list 0 1 14\nsetting Av accept 32 40\n");
  TSDKHandle source = OpenFirst();
  TSDKHandle list = 0;
  uint32_t count = 0;
  ASSERT_EQ(CDEnumWBSettingReset(source, &list), SDKOk);
  ASSERT_EQ(CDGetWBSettingCount(list, &count), SDKOk);
  std::vector<uint16_t> codes(count);
  for (auto& code : codes) EXPECT_EQ(CDEnumWBSettingNext(list, &code), SDKOk);
  EXPECT_EQ(CDEnumWBSettingRelease(list), SDKOk);
  EXPECT_EQ(codes, (std::vector<uint16_t>{0, 1, 14}));

  EXPECT_NE(CDEnumAvValueReset(source, &list), SDKOk) << "Av can't be listed: probing sets each value";
  EXPECT_EQ(CDSetAvValue(source, 40), SDKOk);
  EXPECT_NE(CDSetAvValue(source, 48), SDKOk);
  uint16_t av = 0;
  EXPECT_EQ(CDGetAvValue(source, &av), SDKOk);
  EXPECT_EQ(av, 40);
}

TEST_F(CDSimulator, KeepsImageFormatFlashAndReleaseCameraSettings) {
  TSDKHandle source = OpenFirst();
  EXPECT_EQ(CDSetImageFormatAttribute(source, 5, 7), SDKOk);
  EXPECT_NE(CDSetImageFormatAttribute(source, 4, 3), SDKOk);
  uint16_t quality = 0, size = 0;
  EXPECT_EQ(CDGetImageFormatAttribute(source, &quality, &size), SDKOk);
  EXPECT_EQ(quality, 5);
  EXPECT_EQ(size, 7);

  uint16_t mode = 0, compensation = 0;
  EXPECT_EQ(CDSetFlashSetting(source, 2, SDKFlashUnchanged), SDKOk);
  EXPECT_EQ(CDSetFlashSetting(source, SDKFlashUnchanged, 32), SDKOk);
  EXPECT_EQ(CDGetFlashSetting(source, &mode, &compensation), SDKOk);
  EXPECT_EQ(mode, 2);
  EXPECT_EQ(compensation, 32);

  // ISO travels in two bytes, contrast in one signed byte.
  uint16_t iso = 0x58;
  EXPECT_EQ(CDSetRelCamSettingData(source, SDKRelCamISO, 2, &iso), SDKOk);
  EXPECT_EQ(CDSetRelCamSettingData(source, SDKRelCamISO, 1, &iso), 0x64u) << "invalid length";
  uint8_t contrast = 0xFF;
  EXPECT_EQ(CDSetRelCamSettingData(source, SDKRelCamContrast, 1, &contrast), SDKOk);
  uint32_t width = 2;
  uint16_t readIso = 0;
  EXPECT_EQ(CDGetRelCamSettingData(source, SDKRelCamISO, &width, &readIso), SDKOk);
  EXPECT_EQ(readIso, 0x58);
  TSDKHandle list = 0;
  uint32_t dataSize = 0, count = 0;
  ASSERT_EQ(CDEnumRelCamSettingDataReset(source, SDKRelCamContrast, &list, &dataSize), SDKOk);
  EXPECT_EQ(dataSize, 1u);
  EXPECT_EQ(CDGetRelCamSettingDataCount(list, &count), SDKOk);
  uint8_t first = 0;
  EXPECT_EQ(CDEnumRelCamSettingDataNext(list, dataSize, &first), SDKOk);
  EXPECT_EQ(first, 0xFF);
  EXPECT_EQ(CDEnumRelCamSettingDataRelease(list), SDKOk);
}

TEST_F(CDSimulator, AReleaseRaisesStartAndCompleteInsideTheCallAndDeliversADecodableJpeg) {
  TSDKHandle source = OpenInReleaseControl();
  ASSERT_EQ(CDSetImageFormatAttribute(source, 3, 7), SDKOk);  // fine, medium 3
  uint32_t count = 0;
  ASSERT_EQ(CDRelease(source, 0, OnProgress, 7, SDKProgressOption, &count), SDKOk);
  EXPECT_EQ(count, 1u);
  auto events = TakeEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].Id, SDKReleaseEventReleaseStart);
  EXPECT_EQ(events[1].Id, SDKReleaseEventReleaseComplete);
  EXPECT_EQ(events[1].Word0, 1u);
  EXPECT_EQ(events[1].Context, 7u);
  EXPECT_EQ(events[1].Thread, std::this_thread::get_id());
  EXPECT_EQ(Progress.back(), 100u);

  std::string file = Dir.file("000001.jpg");
  TSDKStorageRecord storage{0, file.c_str()};
  uint8_t info[SDKReleaseInfoRecordSize] = {};
  ASSERT_EQ(CDGetReleasedData(source, OnProgress, 7, SDKProgressOption, info, &storage), SDKOk);
  Jpeg picture = DecodeJpeg(file);
  EXPECT_EQ(picture.Width, 1024);
  EXPECT_EQ(picture.Height, 768);
  EXPECT_NE(CDGetReleasedData(source, OnProgress, 7, SDKProgressOption, info, &storage), SDKOk)
      << "nothing is left to fetch";
}

TEST_F(CDSimulator, ThumbnailAndPictureCountTwoAndComeInThatOrder) {
  TSDKHandle source = OpenInReleaseControl(SDKDataThumbnailToPC | SDKDataPictureToPC);
  uint32_t count = 0;
  ASSERT_EQ(CDRelease(source, 0, nullptr, 0, SDKProgressOption, &count), SDKOk);
  EXPECT_EQ(count, 2u);
  std::string thumb = Dir.file("thumb.jpg"), full = Dir.file("full.jpg");
  TSDKStorageRecord first{0, thumb.c_str()}, second{0, full.c_str()};
  ASSERT_EQ(CDGetReleasedData(source, nullptr, 0, SDKProgressOption, nullptr, &first), SDKOk);
  ASSERT_EQ(CDGetReleasedData(source, nullptr, 0, SDKProgressOption, nullptr, &second), SDKOk);
  EXPECT_EQ(DecodeJpeg(thumb).Width, 160);
  EXPECT_EQ(DecodeJpeg(full).Width, 640);
}

TEST_F(CDSimulator, APictureThatCannotBeWrittenStaysInTheCamera) {
  TSDKHandle source = OpenInReleaseControl();
  uint32_t count = 0;
  ASSERT_EQ(CDRelease(source, 0, nullptr, 0, SDKProgressOption, &count), SDKOk);
  std::string missingFolder = Dir.file("no/such/folder.jpg"), good = Dir.file("ok.jpg");
  TSDKStorageRecord bad{0, missingFolder.c_str()}, fine{0, good.c_str()};
  EXPECT_EQ(CDGetReleasedData(source, nullptr, 0, SDKProgressOption, nullptr, &bad), 0x23u) << "file open error";
  EXPECT_EQ(CDGetReleasedData(source, nullptr, 0, SDKProgressOption, nullptr, &fine), SDKOk);
  EXPECT_EQ(DecodeJpeg(good).Width, 640);
}

TEST_F(CDSimulator, ACameraFullOfUnfetchedPicturesRefusesToRelease) {
  TSDKHandle source = OpenInReleaseControl(SDKDataThumbnailToPC);
  uint32_t count = 0;
  for (int i = 0; i < 64; ++i) ASSERT_EQ(CDRelease(source, 0, nullptr, 0, SDKProgressOption, &count), SDKOk);
  EXPECT_EQ(CDRelease(source, 0, nullptr, 0, SDKProgressOption, &count), 0x84u) << "device memory full";
  std::string file = Dir.file("first.jpg");
  TSDKStorageRecord storage{0, file.c_str()};
  ASSERT_EQ(CDGetReleasedData(source, nullptr, 0, SDKProgressOption, nullptr, &storage), SDKOk);
  EXPECT_EQ(CDRelease(source, 0, nullptr, 0, SDKProgressOption, &count), SDKOk);
}

TEST_F(CDSimulator, ReleaseEventsCanArriveFromAnotherThreadAfterTheCall) {
  SimulatedLibrary::CD().LoadScenario("camera CD\nevents thread\n");
  TSDKHandle source = OpenInReleaseControl();
  uint32_t count = 0;
  ASSERT_EQ(CDRelease(source, 0, nullptr, 3, SDKProgressOption, &count), SDKOk);
  ASSERT_TRUE(SimulatedLibrary::CD().WaitIdle());
  auto events = TakeEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].Id, SDKReleaseEventReleaseComplete);
  EXPECT_NE(events[1].Thread, std::this_thread::get_id());
}

TEST_F(CDSimulator, BrightnessFollowsTheExposureSettings) {
  // Noon in June, clear sky: the scene wants 1/512 s at f/8, ISO 100.
  SimulatedLibrary::CD().LoadScenario("camera CD\ntime 12:00\ndate 06-21\nclouds 0\n");
  TSDKHandle source = OpenInReleaseControl();
  ASSERT_EQ(CDSetShootingMode(source, 4), SDKOk);
  ASSERT_EQ(CDSetAvValue(source, 56), SDKOk);
  uint16_t iso100 = 0x48;
  ASSERT_EQ(CDSetRelCamSettingData(source, SDKRelCamISO, 2, &iso100), SDKOk);
  std::vector<double> luma;
  for (uint32_t tv : {104u, 128u, 144u}) {  // three stops over, right, two under
    ASSERT_EQ(CDSetTvValue(source, tv), SDKOk);
    uint32_t count = 0;
    ASSERT_EQ(CDRelease(source, 0, nullptr, 0, SDKProgressOption, &count), SDKOk);
    std::string file = Dir.file("tv" + std::to_string(tv) + ".jpg");
    TSDKStorageRecord storage{0, file.c_str()};
    ASSERT_EQ(CDGetReleasedData(source, nullptr, 0, SDKProgressOption, nullptr, &storage), SDKOk);
    luma.push_back(DecodeJpeg(file).MeanLuma);
  }
  EXPECT_GT(luma[0], 200) << "over-exposed sky burns out";
  EXPECT_GT(luma[1], 70);
  EXPECT_LT(luma[1], 190);
  EXPECT_LT(luma[2], luma[1] - 30) << "under-exposed is darker";
}

TEST_F(CDSimulator, InjectedFailuresAndTheCallLog) {
  auto& sim = SimulatedLibrary::CD();
  sim.FailNext("CDOpenSource", 1, 0x04000081);
  auto records = Devices();
  TSDKHandle source = 0;
  EXPECT_EQ(CDOpenSource(records[0].data(), &source), 0x04000081u);
  EXPECT_EQ(CDOpenSource(records[0].data(), &source), SDKOk);
  sim.FailNext("CDGetReleaseControlFaculty", 2, 0x07);
  uint32_t faculty = 0;
  EXPECT_EQ(CDGetReleaseControlFaculty(source, &faculty), 0x07u);
  EXPECT_EQ(CDGetReleaseControlFaculty(source, &faculty), 0x07u);
  EXPECT_EQ(CDGetReleaseControlFaculty(source, &faculty), SDKOk);
  EXPECT_EQ(CDSetShootingMode(source, 4), SDKOk);

  auto calls = sim.Calls("CDSetShootingMode");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Args, (std::vector<uint64_t>{source, 4}));
  EXPECT_EQ(sim.Calls("CDOpenSource").size(), 2u);
  EXPECT_EQ(CDFormat(), SDKUnimplemented);
  EXPECT_EQ(sim.Calls("CDFormat").size(), 1u);
}

TEST_F(CDSimulator, ControlEntriesRaiseCameraAndReleaseEvents) {
  TSDKHandle source = OpenInReleaseControl();
  TSDKHandle registration = 0;
  ASSERT_EQ(CDRegisterEventCallbackFunction(source, OnEvent, 9, &registration), SDKOk);
  SimulatedLibrary::CD().RaiseCameraEvent(0x00020001, 4);
  SimulatedLibrary::CD().RaiseReleaseEvent(34, 1, 16);
  auto events = TakeEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].Id, 0x00020001u);
  EXPECT_EQ(events[0].Word0, 4u);
  EXPECT_EQ(events[0].Context, 9u);
  EXPECT_EQ(events[1].Id, 34u);
  EXPECT_EQ(events[1].Context, 7u);
}

uint32_t ListedCameras() {
  TSDKHandle list = 0;
  uint32_t count = 0;
  EXPECT_EQ(CDEnumDeviceReset(1, &list), SDKOk);
  EXPECT_EQ(CDGetDeviceCount(list, &count), SDKOk);
  CDEnumDeviceRelease(list);
  return count;
}

TEST(CamSimScenario, ABadScenarioIsRefusedWithItsLineAndTheOldOneStays) {
  LoadCDSDK();
  auto& sim = SimulatedLibrary::CD();
  sim.Reset();
  for (const char* bad : {"model X\n", "camera CD\nsetting Nonsense list 1\n", "camera CD\nzoom 1 2\n",
                          "camera CD\ntime 25:00\n", "camera XY\n", "camera CD\nevents soon\n"})
    EXPECT_THROW(sim.LoadScenario(bad), std::runtime_error) << bad;
  try {
    sim.LoadScenario("# two lines of comment\n\ncamera CD\nfaculty 0x40000000\nbogus\n");
    ADD_FAILURE();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "scenario line 5 not understood");
  }
  EXPECT_EQ(ListedCameras(), 1u);
}

TEST(CamSimScenario, TheDefaultScenarioComesFromTheFileNamedInTheEnvironment) {
  LoadCDSDK();
  auto& sim = SimulatedLibrary::CD();
  test::TempDir dir;
  test::WriteFile(dir.file("two.txt"), "camera CD\ncamera CD\nmodel Canon PowerShot S45\n");
  test::WriteFile(dir.file("bad.txt"), "camera CD\nzoom far\n");
  setenv("CAMSIM_SCENARIO", dir.file("two.txt").c_str(), 1);
  sim.Reset();
  EXPECT_EQ(ListedCameras(), 2u);
  for (const char* unusable : {"bad.txt", "missing.txt"}) {
    setenv("CAMSIM_SCENARIO", dir.file(unusable).c_str(), 1);
    sim.Reset();
    EXPECT_EQ(ListedCameras(), 0u) << unusable << ": reported, and no camera attached";
  }
  unsetenv("CAMSIM_SCENARIO");
  sim.Reset();
  EXPECT_EQ(ListedCameras(), 1u);
}

TEST(PRAndRCSimulators, StartAndListNoCamera) {
  LoadPRSDK();
  LoadRCSDK();
  EXPECT_EQ(PR_StartSDK(), SDKOk);
  std::vector<uint8_t> buffer(PRDeviceListBufferSize, 0xFF);
  uint32_t size = static_cast<uint32_t>(buffer.size());
  EXPECT_EQ(PR_GetDeviceList(&size, buffer.data()), SDKOk);
  EXPECT_EQ(buffer[0] | buffer[1] | buffer[2] | buffer[3], 0);

  uint8_t version[SDKVersionRecordSize] = {40, 0, 8, 0, 4, 0};
  EXPECT_EQ(RCStartSDK(version, 0), SDKOk);
  TSDKHandle list = 0;
  uint32_t count = 99;
  ASSERT_EQ(RCEnumDeviceReset(1, &list), SDKOk);
  EXPECT_EQ(RCGetDeviceCount(list, &count), SDKOk);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(RCEnumDeviceRelease(list), SDKOk);
}

}  // namespace
}  // namespace korv
