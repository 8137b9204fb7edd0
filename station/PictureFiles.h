// The picture files of the day's folder: which numbers are already taken,
// and the file one released picture is written into.
#pragma once

#include <cstdint>
#include <string>

namespace korv {

// The highest number the station counts to: its successor and the name of
// each picture still fit every 64-bit place they go to.
inline constexpr int64_t kLastPictureNumber = 999'999'999'999'999'999;

// The highest N of the pictures "N.jpg" in `folder` whose N has at least
// six digits (the names the station gives); 0 when there is none or the
// folder can't be read.
int64_t HighestPictureNumber(const std::string& folder);

// The number for the first picture of a run: `counter` (from "max.ser"),
// raised to one past the highest picture already in `folder`, so that no
// picture kept there is ever written over, whatever "max.ser" said.
int64_t SafePictureCounter(const std::string& folder, int64_t counter);

// The file one released picture goes into; the camera side creates and
// writes it. Made just before the transfer, it notes whether the name is
// already taken, so that after a failed transfer only what the transfer
// itself left behind is removed, never a file that was there before.
class PictureTarget {
public:
  explicit PictureTarget(std::string path);

  const std::string& Path() const { return FPath; }

  // Something already has this name: no picture may be written there.
  bool Taken() const { return FTaken; }

  // After a failed transfer: removes the partial file it left, unless the
  // name was taken before. True when a file was removed.
  bool RemovePartial() const;

private:
  std::string FPath;
  bool FTaken;
};

}  // namespace korv
