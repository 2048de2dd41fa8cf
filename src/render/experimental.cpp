#include "render/experimental.h"

#include "render/demosaic.h"
#include "render/glitch.h"
#include "render/render_photo.h"

namespace velmora {

std::vector<ExperimentalRender> fun_pattern_renders() {
  return {
      {"fun-rggb-proc21", 0, false, kPatternRggb, kStyleBalanced},
      {"fun-bggr-mars", 0, false, kPatternBggr, kStyleMarsHistorical},
      {"fun-rggb-baseline", 0, false, kPatternRggb, kStyleBaseline},
      {"fun-gbrg-proc21", 0, false, kPatternGbrg, kStyleBalanced},
  };
}

std::vector<ExperimentalRender> fun_variant_renders() {
  std::vector<ExperimentalRender> renders;
  for (std::uint8_t offset = 1; offset <= 7; ++offset) {
    renders.push_back({"fun-offset" + std::to_string(offset) + "-proc21", offset, true, kPatternBggr, kStyleBalanced});
  }
  renders.push_back({"fun-swapsigns-proc21", 8, true, kPatternBggr, kStyleBalanced});
  renders.push_back({"fun-swapsigns-baseline", 8, true, kPatternBggr, kStyleBaseline});
  return renders;
}

ExperimentalRender extreme_render(std::int32_t effect, std::int32_t pattern) {
  return {"extreme-" + glitch_effect_name(effect), 0, false, pattern, kStyleBalanced, effect};
}

ExperimentalRender bayer_render(std::int32_t pattern) {
  return {"bayer-" + bayer_pattern_name(pattern), 0, false, pattern, kStyleBalanced};
}

}  // namespace velmora
