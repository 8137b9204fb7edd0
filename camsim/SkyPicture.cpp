#include "camsim/SkyPicture.h"

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "runtime/Clock.h"

namespace korv::camsim {

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double Latitude = 47.5;  // degrees north

struct Rgb {
  double R = 0, G = 0, B = 0;
  Rgb operator+(Rgb o) const { return {R + o.R, G + o.G, B + o.B}; }
  Rgb operator*(double k) const { return {R * k, G * k, B * k}; }
};
Rgb Mix(Rgb a, Rgb b, double t) { return a * (1 - t) + b * t; }

double Clamp01(double x) { return std::clamp(x, 0.0, 1.0); }
double SmoothStep(double from, double to, double x) {
  double t = Clamp01((x - from) / (to - from));
  return t * t * (3 - 2 * t);
}

int DayOfYear(int month, int day) {
  static constexpr std::array<int, 12> before{0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  return before[std::clamp(month, 1, 12) - 1] + std::clamp(day, 1, 31);
}

// Height of the sun in degrees; local noon is half an hour later in summer.
double SunElevation(int month, int day, int hour, int minute) {
  double declination = -23.44 * std::cos(2 * Pi * (DayOfYear(month, day) + 10) / 365.0);
  double noon = (month >= 4 && month <= 10) ? 13.0 : 12.0;
  double hourAngle = 15.0 * (hour + minute / 60.0 - noon);
  double rad = Pi / 180;
  double s = std::sin(Latitude * rad) * std::sin(declination * rad) +
             std::cos(Latitude * rad) * std::cos(declination * rad) * std::cos(hourAngle * rad);
  return std::asin(std::clamp(s, -1.0, 1.0)) / rad;
}

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
  uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
  h ^= h >> 13;
  h *= 0x5BD1E995u;
  h ^= h >> 15;
  return h;
}
double Random01(uint32_t x, uint32_t y, uint32_t seed) { return Hash(x, y, seed) / 4294967296.0; }

double ValueNoise(double x, double y, uint32_t seed) {
  double fx = std::floor(x), fy = std::floor(y);
  auto ix = static_cast<uint32_t>(static_cast<int64_t>(fx)), iy = static_cast<uint32_t>(static_cast<int64_t>(fy));
  double tx = x - fx, ty = y - fy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  double top = Random01(ix, iy, seed) * (1 - tx) + Random01(ix + 1, iy, seed) * tx;
  double bottom = Random01(ix, iy + 1, seed) * (1 - tx) + Random01(ix + 1, iy + 1, seed) * tx;
  return top * (1 - ty) + bottom * ty;
}

double Fractal(double x, double y, uint32_t seed) {
  double sum = 0, amplitude = 0.5;
  for (int octave = 0; octave < 5; ++octave) {
    sum += amplitude * ValueNoise(x, y, seed + octave);
    x *= 2.03;
    y *= 2.03;
    amplitude *= 0.5;
  }
  return sum / 0.97;
}

// Colours of one light situation, scaled so that a well exposed sky
// averages a middle grey.
struct Palette {
  Rgb Zenith, Horizon, CloudLit, CloudShade, Ground;
};
constexpr Palette Day{{0.06, 0.14, 0.40}, {0.38, 0.48, 0.62}, {0.85, 0.85, 0.88}, {0.42, 0.44, 0.48}, {0.03, 0.05, 0.02}};
constexpr Palette Dusk{{0.04, 0.06, 0.20}, {0.85, 0.38, 0.10}, {0.80, 0.38, 0.30}, {0.10, 0.08, 0.12}, {0.01, 0.01, 0.015}};
constexpr Palette Night{{0.04, 0.05, 0.10}, {0.22, 0.16, 0.10}, {0.30, 0.24, 0.18}, {0.12, 0.10, 0.08}, {0.005, 0.005, 0.006}};

Rgb Blend(Rgb Palette::*part, double day, double dusk, double night) {
  return Day.*part * day + Dusk.*part * dusk + Night.*part * night;
}

// Linear light to 8-bit output with a display gamma; light above 1 clips.
class ToneCurve {
public:
  ToneCurve() {
    for (size_t i = 0; i < Table.size(); ++i)
      Table[i] = static_cast<uint8_t>(std::lround(255 * std::pow(i / double(Table.size() - 1), 1 / 2.2)));
  }
  uint8_t operator()(double linear) const {
    return Table[static_cast<size_t>(Clamp01(linear) * (Table.size() - 1) + 0.5)];
  }

private:
  std::array<uint8_t, 4096> Table{};
};

std::vector<uint8_t> RenderPixels(const SkyShot& shot) {
  static const ToneCurve tone;
  const int w = std::max(shot.Width, 1), h = std::max(shot.Height, 1);
  double elevation = SunElevation(shot.Month, shot.Day, shot.Hour, shot.Minute);
  double day = SmoothStep(-3, 6, elevation);
  double night = 1 - SmoothStep(-15, -7, elevation);
  double dusk = std::max(0.0, 1 - day - night);
  uint32_t weather = static_cast<uint32_t>(DayOfYear(shot.Month, shot.Day));
  double cover = shot.CloudPercent >= 0 ? shot.CloudPercent / 100.0 : 0.15 + 0.6 * Random01(weather, 7, 99);
  double drift = (shot.Hour * 60 + shot.Minute) / 90.0;  // clouds move with the time of day
  double gain = std::pow(2.0, shot.ExposureStops);
  double noise = 0.006 * std::sqrt(std::max(shot.Iso, 25.0) / 100) * (1 + std::sqrt(shot.ExposureSeconds) / 4);
  double zoom = std::max(shot.ZoomFactor, 1.0);
  double starCell = 7.0 * zoom;  // pixels per star cell: zooming spreads the stars

  // The line of the hills, per column.
  std::vector<double> hills(w);
  for (int x = 0; x < w; ++x) {
    double u = x / double(w);
    hills[x] = 0.84 + 0.03 * std::sin(u * 7.3 + 1) + 0.02 * std::sin(u * 17.1) + 0.03 * (Fractal(u * 8, 3, 5) - 0.5);
  }

  std::vector<uint8_t> pixels(size_t(w) * h * 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      double u = x / double(w), v = y / double(h);
      double horizon = hills[x];
      Rgb light;
      if (v > horizon) {
        light = Blend(&Palette::Ground, day, dusk, night);
      } else {
        double height = Clamp01((horizon - v) / horizon);
        light = Mix(Blend(&Palette::Horizon, day, dusk, night), Blend(&Palette::Zenith, day, dusk, night),
                    std::pow(height, 0.6));
        // Afterglow where the sun went down.
        double glow = std::exp(-((u - 0.72) * (u - 0.72) / 0.06 + height * height / 0.05));
        light = light + Rgb{0.9, 0.45, 0.12} * (glow * dusk);
        // Stars: one candidate per cell, shining through clear sky only.
        double starLight = 0;
        if (night + dusk * 0.08 > 0) {
          auto cx = static_cast<uint32_t>(x / starCell), cy = static_cast<uint32_t>(y / starCell);
          if (Random01(cx, cy, 11) < 0.18) {
            double sx = (cx + Random01(cx, cy, 12)) * starCell, sy = (cy + Random01(cx, cy, 13)) * starCell;
            double d2 = (x + 0.5 - sx) * (x + 0.5 - sx) + (y + 0.5 - sy) * (y + 0.5 - sy);
            double magnitude = std::pow(Random01(cx, cy, 14), 4.0);
            starLight = (0.4 + 6 * magnitude) * std::exp(-d2 / (0.6 + magnitude * 1.5)) * (night + dusk * 0.08);
          }
        }
        // Clouds, stretched sideways, thicker towards the horizon.
        double cxz = (u - 0.5) / zoom * 3.2 + drift, cyz = (v - 0.5) / zoom * 6.5;
        double density = Fractal(cxz, cyz, weather);
        double cloud = SmoothStep(1 - cover - 0.08, 1 - cover + 0.18, density + 0.08 * (1 - height));
        double lit = Fractal(cxz * 2.1 + 4, cyz * 2.1, weather + 17);
        Rgb cloudLight = Mix(Blend(&Palette::CloudShade, day, dusk, night), Blend(&Palette::CloudLit, day, dusk, night),
                             Clamp01(lit * 1.2 - 0.1 + 0.3 * dusk * (1 - height)));
        light = Mix(light, cloudLight, cloud) + Rgb{1, 1, 1} * (starLight * (1 - cloud));
      }
      // Exposure, then sensor noise, then the occasional hot pixel of a long exposure.
      auto grain = [&](uint32_t channel) {
        double g = Random01(uint32_t(x), uint32_t(y), shot.Seed * 3 + channel) +
                   Random01(uint32_t(x), uint32_t(y), shot.Seed * 5 + channel) - 1;
        return g * noise * 2.4;
      };
      double hot = shot.ExposureSeconds > 4 && Random01(uint32_t(x), uint32_t(y), 77) < 0.0002 ? 0.8 : 0;
      uint8_t* p = &pixels[(size_t(y) * w + x) * 3];
      p[0] = tone(light.R * gain + grain(0) + hot);
      p[1] = tone(light.G * gain + grain(1) + hot * 0.6);
      p[2] = tone(light.B * gain + grain(2) + hot * 0.5);
    }
  }
  return pixels;
}

struct JpegFailure {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
};

void OnJpegError(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegFailure*>(info->err)->Jump, 1); }

}  // namespace

double SkyExposureValue(int month, int day, int hour, int minute) {
  static constexpr std::array<std::array<double, 2>, 7> curve{
      {{-18, -2.5}, {-12, 0}, {-6, 4}, {0, 8}, {10, 12}, {30, 14}, {60, 15}}};
  double e = SunElevation(month, day, hour, minute);
  if (e <= curve.front()[0]) return curve.front()[1];
  for (size_t i = 1; i < curve.size(); ++i)
    if (e <= curve[i][0])
      return curve[i - 1][1] + (curve[i][1] - curve[i - 1][1]) * (e - curve[i - 1][0]) / (curve[i][0] - curve[i - 1][0]);
  return curve.back()[1];
}

void Expose(SkyShot& shot, const CameraProfile& profile, const ExposureCodes& codes, uint32_t picturesTaken) {
  LocalTime now = TheClock().Now();
  shot.Month = profile.Month > 0 ? profile.Month : now.Month;
  shot.Day = profile.Month > 0 ? profile.Day : now.Day;
  shot.Hour = profile.Hour >= 0 ? profile.Hour : now.Hour;
  shot.Minute = profile.Hour >= 0 ? profile.Minute : now.Minute;
  shot.CloudPercent = profile.CloudPercent;

  // Exposure values at ISO 100: what the sky gives and what the camera takes.
  double scene = SkyExposureValue(shot.Month, shot.Day, shot.Hour, shot.Minute);
  double iso = codes.Iso == 0 ? 100 : 100 * std::pow(2.0, (double(codes.Iso) - 0x48) / 8);
  double taken = 0;
  if (codes.Automatic) {
    // Automatic: the camera meters, but can't go beyond 1 s at f/2.8, ISO 400.
    taken = std::clamp(scene, 1.0, 17.0) - (double(codes.ExposureComp) - 24) / 8;
    shot.ExposureSeconds = std::min(1.0, 8.0 / std::pow(2.0, taken));
  } else {
    double fNumber = std::pow(2.0, (double(codes.Av) - 8) / 16);
    shot.ExposureSeconds = std::pow(2.0, (56 - double(codes.Tv)) / 8);
    taken = std::log2(fNumber * fNumber / shot.ExposureSeconds) - std::log2(iso / 100);
  }
  shot.ExposureStops = scene - taken;
  shot.Iso = iso;
  uint32_t widest = std::max({profile.ZoomMax1, profile.ZoomMax2, 1u});
  shot.ZoomFactor = 1 + 2.0 * std::min(profile.ZoomPosition, widest) / widest;
  shot.Seed = picturesTaken * 7919 + 1;
}

std::string RenderSkyJpeg(const SkyShot& shot) {
  std::vector<uint8_t> pixels = RenderPixels(shot);
  jpeg_compress_struct info{};
  JpegFailure failure{};
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  info.err = jpeg_std_error(&failure.Manager);
  failure.Manager.error_exit = OnJpegError;
  if (setjmp(failure.Jump)) {
    jpeg_destroy_compress(&info);
    std::free(buffer);
    throw std::runtime_error("JPEG encoding failed");
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(std::max(shot.Width, 1));
  info.image_height = static_cast<JDIMENSION>(std::max(shot.Height, 1));
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, std::clamp(shot.JpegQuality, 1, 100), TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = &pixels[size_t(info.next_scanline) * info.image_width * 3];
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  std::string bytes(reinterpret_cast<const char*>(buffer), size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return bytes;
}

}  // namespace korv::camsim
