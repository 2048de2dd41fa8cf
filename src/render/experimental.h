#pragma once
// The extra "fun-", "extreme-" and "bayer-" renders: a decode with a decoder
// variant, a render in a fixed pattern and style (set 0), and for the
// "extreme-" renders a glitch effect. Which of them a download makes is the
// download job's decision; this says what each one computes.

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

inline constexpr std::int32_t kNoGlitch = -1;

struct ExperimentalRender {
  std::string label;  // names the render in file names and logs
  std::uint8_t decoder_variant = 0;
  bool always_compressed = false;  // decode as compressed whatever the photo says
  std::int32_t pattern = 1;
  std::int32_t style = 1;
  std::int32_t glitch_effect = kNoGlitch;
};

// "fun-rggb-proc21", "fun-bggr-mars", "fun-rggb-baseline", "fun-gbrg-proc21":
// the photo as stored, other patterns and styles.
std::vector<ExperimentalRender> fun_pattern_renders();
// "fun-offset1-proc21" ... "fun-offset7-proc21", "fun-swapsigns-proc21",
// "fun-swapsigns-baseline": decoder variants 1..8, always decoded as compressed.
std::vector<ExperimentalRender> fun_variant_renders();
// "extreme-" + effect name: balanced in the user's pattern, then the effect.
ExperimentalRender extreme_render(std::int32_t effect, std::int32_t pattern);
// "bayer-" + pattern name: balanced in that pattern.
ExperimentalRender bayer_render(std::int32_t pattern);

}  // namespace velmora
