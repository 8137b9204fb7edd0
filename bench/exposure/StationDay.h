// The station's window left alone with the simulated camera on the fast
// clock: its timer is driven picture by picture at the times asked for, so
// a simulated day passes in a minute. The program sets KORV_CLOCK before
// anything reads the clock; the camera library shares it.
#pragma once

#include <QImage>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "station/window/cps.h"

namespace korv {

struct DayPicture {
  LocalTime Taken;             // the clock's time of the tick
  std::optional<double> Mean;  // brightness of the preview shown
  int Preset = 0;              // selected as it was taken
  std::string Exposure;        // the correction lists' texts: "1/60 mp F2.8 200"
  QImage Preview;
};

// The steering's changes in a station's log, and how often their direction
// turned (a brighter exposure after a darker one, or back).
struct SteeringFigures {
  int Changes = 0, Reversals = 0;
};
SteeringFigures SteeringOf(const std::string& log, double target);

class StationDay {
public:
  // An unattended station in `folder` that uploads nothing; connected and
  // started on the camera of the library's scenario.
  StationDay(const std::string& folder, const StationConfig& config);
  ~StationDay();

  // Waits for the clock to reach `unixTime`, ticks, and waits for the
  // picture to be shown: nothing when none came within 20 s.
  std::optional<DayPicture> TakeAt(int64_t unixTime);
  TForm1& Form() { return *Window; }
  const std::vector<std::string>& Errors() const { return Reported; }

private:
  std::vector<std::string> Reported;
  ErrorReporter Previous;
  std::unique_ptr<TForm1> Window;
};

}  // namespace korv
