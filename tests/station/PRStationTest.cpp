// The station with a camera that only the PR library lists: connecting,
// the capture cycle and the pictures it saves.
#include <gtest/gtest.h>

#include <QCheckBox>

#include "camera/Obturo.h"
#include "station/CaptureCycle.h"
#include "station/window/JpegPreview.h"
#include "tests/camsim/CamSimControl.h"
#include "tests/station/StationFixture.h"

namespace korv::test {
namespace {

bool IsWholeJpeg(const std::string& bytes) {
  return bytes.size() > 4 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xD8 &&
         static_cast<uint8_t>(bytes[bytes.size() - 2]) == 0xFF && static_cast<uint8_t>(bytes.back()) == 0xD9;
}

class PRStationTest : public StationTest {
protected:
  PRStationTest() {
    SimulatedLibrary::CD().LoadScenario("");
    SimulatedLibrary::RC().LoadScenario("");
    SimulatedLibrary::PR().LoadScenario("camera PR\nmodel Canon PowerShot G7\ntime 13:30\ndate 03-14\nclouds 30\n");
  }
  std::string PicturePath(int64_t counter) const {
    return Form->Core.View().PictureFolder + "/" + PictureFileName(counter);
  }
};

TEST_F(PRStationTest, ConnectsThroughThePRLibraryAndSavesEachPictureWhole) {
  TForm1& form = Start();
  form.CheckBox4->setChecked(false);  // no upload
  form.Button1Click();
  ASSERT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_EQ(form.Obturo1->ConnectInfo().Kind, CameraKindPowerShot);
  EXPECT_EQ(form.Obturo1->ConnectInfo().ModelName, "Canon PowerShot G7");
  EXPECT_EQ(SimulatedLibrary::PR().Calls("PR_InitiateReleaseControl").size(), 1u);
  EXPECT_TRUE(SimulatedLibrary::CD().Calls("CDOpenSource").empty());

  form.Button3Click();
  const int64_t first = form.Core.View().NextPicture;
  form.Timer1Timer();
  ASSERT_TRUE(Errors.empty()) << Errors.front();
  const std::string picture = ReadFile(PicturePath(first));
  EXPECT_TRUE(IsWholeJpeg(picture));
  EXPECT_FALSE(LoadPreview(PicturePath(first), QSize(160, 120)).isNull());
  EXPECT_EQ(form.Core.View().NextPicture, first + 1);

  // A file that took the next number meanwhile is never written over: the
  // picture goes to the number after it.
  const std::string leftover(2 << 20, 'x');
  WriteFile(PicturePath(first + 1), leftover);
  form.Timer1Timer();
  ASSERT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_EQ(ReadFile(PicturePath(first + 1)), leftover);
  const std::string second = ReadFile(PicturePath(first + 2));
  EXPECT_TRUE(IsWholeJpeg(second));
  EXPECT_FALSE(LoadPreview(PicturePath(first + 2), QSize(160, 120)).isNull());
  EXPECT_EQ(form.Core.View().NextPicture, first + 3);
  EXPECT_EQ(SimulatedLibrary::PR().Calls("PR_RC_GetReleasedData").size(), 2u);
}

}  // namespace
}  // namespace korv::test
