// The preview of a 4000 x 3000 picture three ways: the station's path
// (decode at the DCT scale covering the picture box, then stretch), a
// full-size decode followed by a smooth scale, and libjpeg's bare 1/8-scaled
// decode, the practical limit since reading the compressed data dominates.
// Prints the station's path as ratios to the other two.
#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <cstdio>
#include <map>
#include <vector>

#include <jpeglib.h>

#include "station/window/JpegPreview.h"
#include "tests/station/TestJpeg.h"

namespace korv {
namespace {

const QSize kBox(385, 281);

const std::vector<uint8_t>& Picture() {
  static const std::vector<uint8_t> jpeg = test::MakeJpeg(4000, 3000, false, 24, 90);
  return jpeg;
}

void StationPreview(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(PreviewOf(Picture(), kBox));
  state.counters["bytes"] = static_cast<double>(Picture().size());
}

void FullDecodeThenScale(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(DecodeJpeg(Picture(), 1).scaled(kBox, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
  }
}

void BareEighthDecode(benchmark::State& state) {
  std::vector<uint8_t> pixels;
  for (auto _ : state) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, Picture().data(), Picture().size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.scale_num = 1;
    cinfo.scale_denom = 8;
    cinfo.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&cinfo);
    size_t stride = cinfo.output_width * 4;
    pixels.resize(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = pixels.data() + stride * cinfo.output_scanline;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(pixels.data());
  }
}

BENCHMARK(StationPreview)->Unit(benchmark::kMillisecond);
BENCHMARK(FullDecodeThenScale)->Unit(benchmark::kMillisecond);
BENCHMARK(BareEighthDecode)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) Times[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> Times;
};

}  // namespace
}  // namespace korv

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);  // smooth scaling wants the GUI module up
  benchmark::Initialize(&argc, argv);
  korv::Picture();  // made before the clocks run
  korv::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto& t = reporter.Times;
  if (t.count("StationPreview") && t.count("FullDecodeThenScale") && t.count("BareEighthDecode")) {
    double station = t["StationPreview"];
    std::printf("full decode + scale / station preview: %.2f (target >= 2)\n", t["FullDecodeThenScale"] / station);
    std::printf("station preview / bare 1/8 decode:     %.2f (target <= 1.3)\n", station / t["BareEighthDecode"]);
  }
  benchmark::Shutdown();
  return 0;
}
