#pragma once
// The photo every benchmark works on: the simulated camera's 640 x 480
// landscape, as the camera stores it (12-byte header and Mars stream), as its
// decoded Bayer plane and as an RGB image of the scene.

#include <cstdint>
#include <vector>

#include "decode/bayer_plane.h"
#include "render/rgb_image.h"

namespace velmora::bench {

constexpr std::int32_t kWidth = 640;
constexpr std::int32_t kHeight = 480;

// The stored bytes of a compressed 640 x 480 photo.
const std::vector<std::uint8_t>& stored_photo();
// The plane the decoder makes of stored_photo().
const BayerPlane& decoded_plane();
// The scene in colour, as a render would hand it to the encoder.
const RgbImage& scene_image();

}  // namespace velmora::bench
