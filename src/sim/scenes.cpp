#include "sim/scenes.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace velmora::sim {
namespace {

// Scenes are drawn in normalised units: 4096 across the height, so shapes
// keep their proportions at every resolution.
constexpr int kUnit = 4096;

int clamp_channel(int value) { return std::clamp(value, 0, 255); }

Rgb clamp_rgb(Rgb c) { return {clamp_channel(c.red), clamp_channel(c.green), clamp_channel(c.blue)}; }

// Linear blend from a (t = 0) to b (t = span).
Rgb blend(Rgb a, Rgb b, int t, int span) {
  t = std::clamp(t, 0, span);
  return {a.red + (b.red - a.red) * t / span, a.green + (b.green - a.green) * t / span,
          a.blue + (b.blue - a.blue) * t / span};
}

// A parabolic sine: one turn is 4096 phase steps, result in -256..256.
int wave(int phase) {
  const int p = ((phase % kUnit) + kUnit) % kUnit - kUnit / 2;
  const int magnitude = p < 0 ? -p : p;
  return -p * (kUnit / 2 - magnitude) / kUnit;
}

// Small deterministic texture in -amplitude..amplitude.
int grain(int x, int y, int amplitude) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return static_cast<int>(h % static_cast<std::uint32_t>(2 * amplitude + 1)) - amplitude;
}

constexpr std::array<Rgb, 24> kChartColours = {{
    {115, 82, 68},   {194, 150, 130}, {98, 122, 157},  {87, 108, 67},   {133, 128, 177}, {103, 189, 170},
    {214, 126, 44},  {80, 91, 166},   {193, 90, 99},   {94, 60, 108},   {157, 188, 64},  {224, 163, 46},
    {56, 61, 150},   {70, 148, 73},   {175, 54, 60},   {231, 199, 31},  {187, 86, 149},  {8, 133, 161},
    {243, 243, 242}, {200, 200, 200}, {160, 160, 160}, {122, 122, 121}, {85, 85, 85},    {52, 52, 52},
}};

Rgb colour_chart(int x, int y, int width, int height) {
  const int margin_x = width / 20;
  const int margin_y = height / 20;
  const int cell_w = (width - 2 * margin_x) / 6;
  const int cell_h = (height - 2 * margin_y) / 4;
  const int cx = x - margin_x;
  const int cy = y - margin_y;
  const Rgb frame{38, 36, 40};
  if (cx < 0 || cy < 0 || cx >= cell_w * 6 || cy >= cell_h * 4) return frame;
  const int gap_x = std::max(cell_w / 8, 1);
  const int gap_y = std::max(cell_h / 8, 1);
  if (cx % cell_w < gap_x || cy % cell_h < gap_y) return frame;
  return kChartColours[static_cast<std::size_t>(cy / cell_h * 6 + cx / cell_w)];
}

// Fully saturated hue, 0..6 * 4096 around the wheel.
Rgb hue(int h, int value) {
  const int sector = h / kUnit % 6;
  const int rise = value * (h % kUnit) / kUnit;
  const int fall = value - rise;
  switch (sector) {
    case 0: return {value, rise, 0};
    case 1: return {fall, value, 0};
    case 2: return {0, value, rise};
    case 3: return {0, fall, value};
    case 4: return {rise, 0, value};
    default: return {value, 0, fall};
  }
}

Rgb gradients(int x, int y, int width, int height) {
  const int u = x * kUnit / width;
  const int v = y * kUnit / height;
  const int band = kUnit / 3;
  if (v < band) return blend(hue(u * 6, 230), Rgb{235, 235, 235}, v, band * 3 / 2);
  if (v < 2 * band) {
    const int grey = u * 255 / kUnit;
    return {grey, grey, grey};
  }
  const int red = u * 255 / kUnit;
  return {red, (v - 2 * band) * 255 / band, 255 - red};
}

Rgb landscape(int x, int y, int width, int height) {
  const int u = x * kUnit / height;  // the same scale across and down
  const int v = y * kUnit / height;
  const int horizon = 2300;
  const int ridge = 1750 - (wave(u * 2 + 300) * 220 + wave(u * 5 + 1000) * 80) / 256;
  if (v < ridge) {
    Rgb sky = blend(Rgb{40, 90, 190}, Rgb{175, 205, 235}, v, horizon);
    const int sun_u = width * kUnit / height * 3 / 4;
    const int du = u - sun_u;
    const int dv = v - 650;
    const int d2 = du * du + dv * dv;
    const int radius2 = 240 * 240;
    if (d2 < radius2) return {255, 246, 205};
    if (d2 < 9 * radius2) {
      const int glow = (9 * radius2 - d2) / (8 * radius2 / 70);
      sky = {sky.red + glow, sky.green + glow * 4 / 5, sky.blue - glow / 3};
    }
    return clamp_rgb(sky);
  }
  if (v < horizon) {
    const Rgb rock = blend(Rgb{96, 104, 128}, Rgb{70, 86, 84}, v - ridge, horizon - ridge);
    if (v < ridge + 120 && ridge < 1650) return {232, 236, 242};  // snow on the high peaks
    return clamp_rgb({rock.red + grain(x, y, 3), rock.green + grain(x, y, 3), rock.blue + grain(x, y, 3)});
  }
  const int shore = 3400 + wave(u * 3 + 700) * 60 / 256;
  if (v < shore) {
    const int hill = 2600 + wave(u * 3) * 160 / 256;
    const Rgb field = v < hill ? blend(Rgb{150, 170, 80}, Rgb{110, 150, 60}, v - horizon, hill - horizon)
                               : blend(Rgb{70, 130, 45}, Rgb{40, 95, 30}, v - hill, shore - hill);
    const int t = grain(x / 2, y, 5);
    return clamp_rgb({field.red + t, field.green + t, field.blue + t / 2});
  }
  const Rgb water = blend(Rgb{60, 100, 150}, Rgb{20, 50, 90}, v - shore, kUnit - shore);
  const int ripple = wave(v * 24 + wave(u * 4) * 2) / 24;
  return clamp_rgb({water.red + ripple, water.green + ripple, water.blue + ripple});
}

Rgb fine_detail(int x, int y, int width, int height) {
  const int u = x * kUnit / width;
  const int v = y * kUnit / height;
  if (u < kUnit / 4) {
    // Bars of 1, 2, 4 and 8 pixels, top to bottom.
    const int bar = 1 << (v * 4 / kUnit);
    const int level = (x / bar) % 2 == 0 ? 225 : 30;
    return {level, level, level};
  }
  if (u >= kUnit * 3 / 4) {
    if (v < kUnit / 2) {
      const bool odd = ((x / 8) + (y / 8)) % 2 != 0;
      return odd ? Rgb{200, 40, 40} : Rgb{40, 190, 200};
    }
    // Rows of small dark glyph-like blocks on paper.
    const int cell_x = x / 4;
    const int cell_y = y / 6;
    const bool ink = cell_y % 2 == 0 && grain(cell_x, cell_y, 8) > 0 && (x % 4 != 3);
    return ink ? Rgb{25, 25, 35} : Rgb{235, 230, 215};
  }
  const int dx = x - width / 2;
  const int dy = y - height / 2;
  const int d2 = dx * dx + dy * dy;
  const int limit = height * 2 / 5;
  if (d2 > limit * limit) return {128, 128, 128};
  const int level = 128 + wave(d2 * 2560 / height + kUnit / 4) / 2;
  return {level, level, level};
}

}  // namespace

Rgb scene_pixel(Scene scene, int x, int y, int width, int height) {
  switch (scene) {
    case Scene::ColourChart: return colour_chart(x, y, width, height);
    case Scene::Gradients: return clamp_rgb(gradients(x, y, width, height));
    case Scene::Landscape: return landscape(x, y, width, height);
    case Scene::FineDetail: return clamp_rgb(fine_detail(x, y, width, height));
  }
  return {0, 0, 0};
}

BayerPlane mosaic_scene_bggr(Scene scene, int width, int height) {
  BayerPlane plane{width, height, {}};
  plane.samples.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgb c = scene_pixel(scene, x, y, width, height);
      const int sample = y % 2 == 0 ? (x % 2 == 0 ? c.blue : c.green) : (x % 2 == 0 ? c.green : c.red);
      plane.samples.push_back(static_cast<std::uint8_t>(sample));
    }
  }
  return plane;
}

}  // namespace velmora::sim
