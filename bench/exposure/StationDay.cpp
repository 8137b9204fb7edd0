#include "bench/exposure/StationDay.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QTimer>

#include <chrono>
#include <string>

#include "exposure/Brightness.h"
#include "runtime/Clock.h"

namespace korv {

namespace {

using Wall = std::chrono::steady_clock;

void ServeFor(std::chrono::milliseconds span) {
  const auto end = Wall::now() + span;
  while (Wall::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

}  // namespace

SteeringFigures SteeringOf(const std::string& log, double target) {
  SteeringFigures figures;
  int last = 0;
  for (size_t at = log.find("exposure: "); at != std::string::npos; at = log.find("exposure: ", at + 1)) {
    const std::string line = log.substr(at, log.find('\n', at) - at);
    const size_t mean = line.rfind(", mean ");
    if (line.find(" → ") == std::string::npos || mean == std::string::npos) continue;
    const int direction = std::stod(line.substr(mean + 7)) < target ? 1 : -1;
    figures.Reversals += last != 0 && direction != last;
    last = direction;
    ++figures.Changes;
  }
  return figures;
}

StationDay::StationDay(const std::string& folder, const StationConfig& config)
    : Previous(SetErrorReporter([this](const std::string& message) { Reported.push_back(message); })),
      Window(std::make_unique<TForm1>(folder, config)) {
  Window->CheckBox4->setChecked(false);   // no uploads
  Window->ComboBox1->setCurrentIndex(5);  // small pictures keep the ticks short
  Window->StartUnattended();
  Window->Timer1->blockSignals(true);  // the ticks come from TakeAt alone
}

StationDay::~StationDay() {
  Window.reset();
  SetErrorReporter(Previous);
}

std::optional<DayPicture> StationDay::TakeAt(int64_t unixTime) {
  while (TheClock().Now().UnixTime < unixTime) ServeFor(std::chrono::milliseconds(2));
  DayPicture picture{TheClock().Now(), std::nullopt, Window->Core.View().Preset, "", QImage()};
  const int64_t number = Window->Core.View().NextPicture;
  try {
    Window->Timer1Timer();
  } catch (const std::exception& e) {
    Reported.push_back(e.what());
    return std::nullopt;
  }
  const auto deadline = Wall::now() + std::chrono::seconds(20);
  while (Window->Core.View().NextPicture == number) {
    if (Wall::now() > deadline) return std::nullopt;
    ServeFor(std::chrono::milliseconds(1));
  }
  picture.Preview = Window->Image1->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
  picture.Mean = MeanBrightness({picture.Preview.constBits(), picture.Preview.width(), picture.Preview.height(),
                                 static_cast<size_t>(picture.Preview.bytesPerLine()), 4});
  picture.Exposure = (Window->ComboBox4->currentText() + " " + Window->ComboBox3->currentText() + " " +
                      Window->ComboBox2->currentText())
                         .toStdString();
  return picture;
}

}  // namespace korv
