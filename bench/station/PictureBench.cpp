// The station's handling of one picture, from the camera's release-complete
// event to "max.ser", through the real window and the simulated CD camera
// at its largest picture size. Each iteration is one timer tick; the
// median of each stage over all of them is printed as a counter (ms):
// release (tick to release-complete event), transfer (event to file
// saved), preview (file saved to preview painted), counter (preview painted
// to "max.ser" written and the handler done).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "station/window/ErrorReport.h"
#include "station/window/cps.h"
#include "tests/camsim/CamSimControl.h"

namespace korv {
namespace {

using Clock = std::chrono::steady_clock;

// Notes the moment the preview is painted.
class PaintProbe : public QObject {
public:
  Clock::time_point Painted;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) Painted = Clock::now();
    return false;
  }
};

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void PictureHandling(benchmark::State& state) {
  std::string folder = (std::filesystem::temp_directory_path() / "korv-bench-XXXXXX").string();
  if (!mkdtemp(folder.data())) return state.SkipWithError("no temporary folder");
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  std::vector<std::string> errors;
  ErrorReporter reporter = SetErrorReporter([&](const std::string& message) { errors.push_back(message); });
  test::SimulatedLibrary::CD().Reset();
  {
    TForm1 form;
    form.show();
    PaintProbe probe;
    form.Image1->installEventFilter(&probe);
    form.CheckBox4->setChecked(false);  // no upload: this is the handling up to "max.ser"
    form.ComboBox1->setCurrentIndex(0);  // the largest pictures
    form.Button1->click();
    form.Button2->click();  // sends the settings once
    QApplication::processEvents();

    Clock::time_point tick, event, saved;
    QObject::connect(form.Edit1, &QLineEdit::textChanged, [&](const QString& text) {
      if (text.startsWith(QString::fromUtf8("Kép mentése"))) event = Clock::now();
      if (text.startsWith(QString::fromUtf8("Kép beolvasása"))) saved = Clock::now();
    });
    auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    std::map<std::string, std::vector<double>> stages;
    for (auto _ : state) {
      tick = Clock::now();
      QMetaObject::invokeMethod(form.Timer1, "timeout", Qt::DirectConnection);
      Clock::time_point done = Clock::now();
      stages["release"].push_back(ms(event - tick));
      stages["transfer"].push_back(ms(saved - event));
      stages["preview"].push_back(ms(probe.Painted - saved));
      stages["counter"].push_back(ms(done - probe.Painted));
      state.SetIterationTime(std::chrono::duration<double>(done - event).count());
    }
    for (auto& [name, values] : stages) state.counters[name + "_ms"] = Median(values);
    state.counters["pictures"] = static_cast<double>(form.Core.View().NextPicture - 1);
  }
  SetErrorReporter(reporter);
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(folder);
  if (!errors.empty()) state.SkipWithError(errors.front().c_str());
}

BENCHMARK(PictureHandling)->UseManualTime()->Iterations(40)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korv

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
