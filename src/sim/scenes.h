#pragma once
// Procedurally drawn test scenes for the simulated camera's photos. Integer
// arithmetic only, so every platform draws the same samples.

#include <cstdint>

#include "decode/bayer_plane.h"

namespace velmora::sim {

enum class Scene { ColourChart, Gradients, Landscape, FineDetail };

struct Rgb {
  int red;
  int green;
  int blue;
};

// The colour at pixel (x, y) of the scene drawn at width x height; each
// channel 0..255.
Rgb scene_pixel(Scene scene, int x, int y, int width, int height);

// The scene as the sensor sees it through a BGGR mosaic: even rows blue,
// green; odd rows green, red.
BayerPlane mosaic_scene_bggr(Scene scene, int width, int height);

}  // namespace velmora::sim
