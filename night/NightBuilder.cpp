#include "night/NightBuilder.h"

#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "night/Jpeg.h"
#include "night/Timelapse.h"
#include "runtime/Clock.h"

namespace korv {

namespace fs = std::filesystem;

namespace {

// Larger sensors are decoded at a DCT-scaled size: memory stays bounded.
constexpr uint64_t kMaxDecodedPixels = 24'000'000;
constexpr size_t kFramesInFlight = 4;
constexpr int kProductQuality = 90;

struct Decoded {
  bool Ok = false;
  std::vector<uint8_t> Column;  // the central column, top to bottom, RGB
  VideoFrame Frame;
};

double MeanBrightness(const RgbImage& image) {
  uint64_t sum = 0;
  for (uint8_t v : image.Pixels) sum += v;
  return image.Pixels.empty() ? 1.0 : double(sum) / (double(image.Pixels.size()) * 255.0);
}

// Everything the decoding threads share, behind one lock.
class Pipeline {
public:
  Pipeline(const std::vector<std::string>& pictures, const NightOptions& options, int width, int height,
           int videoWidth, int videoHeight)
      : pictures_(pictures), options_(options), width_(width), height_(height), videoWidth_(videoWidth),
        videoHeight_(videoHeight) {}

  void Work() {
    RgbImage image;
    FrameScaler scaler(videoWidth_, videoHeight_);
    for (;;) {
      size_t index;
      {
        std::unique_lock lock(mutex_);
        space_.wait(lock, [&] { return next_ < consumed_ + kFramesInFlight || stop_; });
        if (next_ >= pictures_.size() || stop_) return;
        index = next_++;
      }
      Decoded result = Decode(pictures_[index], image, scaler);
      std::lock_guard lock(mutex_);
      ready_[index] = std::move(result);
      done_.notify_all();
    }
  }

  Decoded Take(size_t index) {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return ready_.count(index) > 0; });
    Decoded result = std::move(ready_[index]);
    ready_.erase(index);
    consumed_ = index + 1;
    space_.notify_all();
    return result;
  }

  void Stop() {
    std::lock_guard lock(mutex_);
    stop_ = true;
    space_.notify_all();
  }

  // The star trails, or the darkest picture when none qualified.
  const RgbImage& Trails(NightSummary& summary) {
    summary.InTrails = inTrails_;
    summary.TrailsFromDarkest = inTrails_ == 0;
    return inTrails_ ? trails_ : darkest_;
  }

private:
  Decoded Decode(const std::string& path, RgbImage& image, FrameScaler& scaler) {
    Decoded result;
    std::string problem;
    if (!DecodeJpegFile(path, kMaxDecodedPixels, image, &problem)) return result;
    result.Frame = scaler.Scale(image);
    if (!result.Frame) return result;
    int x = image.Width / 2;
    result.Column.resize(size_t(height_) * 3);
    for (int y = 0; y < height_; ++y)
      std::copy_n(image.Row(int(int64_t(y) * image.Height / height_)) + x * 3, 3, &result.Column[size_t(y) * 3]);
    AddToTrails(path, image);
    result.Ok = true;
    return result;
  }

  bool SunLowEnough(const std::string& path) const {
    if (!options_.Place) return true;
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return true;
    // On the fast clock (inherited from the station) the file's wall time
    // stamp is mapped to the clock the picture was taken by.
    return SunAltitude(ClockTimeAt(int64_t(status.st_mtime)), *options_.Place) < kTrailsSunAltitude;
  }

  void AddToTrails(const std::string& path, const RgbImage& image) {
    if (image.Width != width_ || image.Height != height_) return;
    double mean = MeanBrightness(image);
    bool qualifies = mean < options_.Brightest && SunLowEnough(path);
    std::lock_guard lock(trailsMutex_);
    if (qualifies) {
      if (inTrails_++ == 0) {
        trails_ = image;
        darkest_ = RgbImage();
        return;
      }
      for (size_t i = 0; i < image.Pixels.size(); ++i)
        trails_.Pixels[i] = std::max(trails_.Pixels[i], image.Pixels[i]);
    } else if (inTrails_ == 0 && mean < darkestMean_) {
      darkestMean_ = mean;
      darkest_ = image;
    }
  }

  const std::vector<std::string>& pictures_;
  const NightOptions& options_;
  const int width_, height_, videoWidth_, videoHeight_;
  std::mutex mutex_;
  std::condition_variable space_, done_;
  size_t next_ = 0, consumed_ = 0;
  bool stop_ = false;
  std::map<size_t, Decoded> ready_;
  std::mutex trailsMutex_;
  RgbImage trails_, darkest_;
  size_t inTrails_ = 0;
  double darkestMean_ = 2.0;
};

RgbImage KeogramOf(const std::vector<std::vector<uint8_t>>& columns, int height) {
  RgbImage keogram;
  keogram.Width = int(columns.size());
  keogram.Height = height;
  keogram.Pixels.resize(size_t(keogram.Width) * size_t(height) * 3);
  for (size_t x = 0; x < columns.size(); ++x)
    for (int y = 0; y < height; ++y) std::copy_n(&columns[x][size_t(y) * 3], 3, keogram.Row(y) + x * 3);
  return keogram;
}

bool FirstSize(const std::vector<std::string>& pictures, int* width, int* height) {
  std::string problem;
  for (const auto& path : pictures)
    if (ReadJpegSize(path, kMaxDecodedPixels, width, height, &problem)) return true;
  return false;
}

}  // namespace

std::vector<std::string> NightPictures(const std::vector<std::string>& folders) {
  std::vector<std::string> all;
  for (const auto& folder : folders) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
      std::string extension = entry.path().extension().string();
      std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
      if ((extension == ".jpg" || extension == ".jpeg") && entry.is_regular_file(error))
        names.push_back(entry.path().string());
    }
    std::sort(names.begin(), names.end());
    all.insert(all.end(), names.begin(), names.end());
  }
  return all;
}

NightSummary BuildNight(const std::vector<std::string>& pictures, const NightOptions& options) {
  NightSummary summary;
  int width = 0, height = 0;
  if (!FirstSize(pictures, &width, &height)) {
    summary.Skipped = pictures.size();
    summary.Problem = "no picture to build from";
    return summary;
  }
  VideoSize(width, height, &summary.VideoWidth, &summary.VideoHeight);
  Timelapse video;
  fs::path out(options.OutDir);
  if (!video.Open((out / "timelapse.mp4").string(), summary.VideoWidth, summary.VideoHeight, options.Fps,
                  &summary.Problem))
    return summary;
  Pipeline pipeline(pictures, options, width, height, summary.VideoWidth, summary.VideoHeight);
  std::vector<std::thread> workers;
  for (int i = 0; i < 2; ++i) workers.emplace_back([&] { pipeline.Work(); });
  std::vector<std::vector<uint8_t>> columns;
  for (size_t i = 0; i < pictures.size(); ++i) {
    Decoded picture = pipeline.Take(i);
    if (!picture.Ok) {
      ++summary.Skipped;
    } else if (summary.Problem.empty()) {
      columns.push_back(std::move(picture.Column));
      if (!video.Add(std::move(picture.Frame), &summary.Problem)) pipeline.Stop();
    }
    if (options.Progress) options.Progress(i + 1, pictures.size());
    if (!summary.Problem.empty()) break;
  }
  for (auto& worker : workers) worker.join();
  if (!summary.Problem.empty()) return summary;
  summary.Pictures = columns.size();
  if (!video.Finish(&summary.Problem)) return summary;
  if (!WriteJpegFile((out / "keogram.jpg").string(), KeogramOf(columns, height), kProductQuality, &summary.Problem))
    return summary;
  WriteJpegFile((out / "startrails.jpg").string(), pipeline.Trails(summary), kProductQuality, &summary.Problem);
  return summary;
}

}  // namespace korv
