#pragma once
// Deterministic visual glitch effects applied to a finished render.

#include <cstdint>
#include <string>

#include "render/rgb_image.h"

namespace velmora {

enum GlitchEffect : std::int32_t {
  kGlitchScanlineShear = 0,
  kGlitchChannelTear = 1,
  kGlitchSolarizePosterize = 2,
  kGlitchMosaicShred = 3,
  kGlitchDigitalStorm = 4,
};

// "scanline-shear", "channel-tear", "solarize-posterize", "mosaic-shred",
// "digital-storm" for 0..4, "unknown" otherwise.
std::string glitch_effect_name(std::int32_t effect);

// Every result pixel is computed from source alone; effect numbers outside
// 0..4 return an exact copy. Throws Failure "Invalid RGB source for visual
// glitch effect" unless source is well formed.
RgbImage render_glitch(const RgbImage& source, std::int32_t effect);
// The same into out (not source), whose buffer is reused.
void render_glitch(const RgbImage& source, std::int32_t effect, RgbImage& out);

}  // namespace velmora
