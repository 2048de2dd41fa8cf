#include "render/style_params.h"

namespace velmora {

std::string style_name(std::int32_t style) {
  switch (style) {
    case kStyleRestrained: return "restrained";
    case kStyleBalanced: return "balanced";
    case kStyleExpressive: return "expressive";
    case kStyleProc20: return "proc20";
    case kStyleProc23: return "proc23";
    case kStyleBaseline: return "baseline";
    case kStyleMarsHistorical: return "mars-historical";
    case kStyleGrayworld: return "grayworld";
    default: return "unknown";
  }
}

std::string additional_set_name(std::int32_t set) {
  switch (set) {
    case kSetPlain: return "";
    case kSetBrighter: return "brighter";
    case kSetMoreColor: return "more-color";
    case kSetLowerContrast: return "lower-contrast";
    case kSetStrongerDestripe: return "stronger-destripe";
    default: return "unknown";
  }
}

StyleParams style_params(std::int32_t style) {
  // low, high, gamma, contrast, saturation, white balance, highlights, destripe
  switch (style) {
    case kStyleRestrained: return {0.001, 0.999, 1.0, 0.86, 0.96, 1.0, 0.65, 0.95};
    case kStyleBalanced: return {0.0025, 0.9975, 0.95, 0.9, 0.98, 1.0, 0.45, 0.5};
    case kStyleExpressive: return {0.0025, 0.998, 0.72, 1.04, 1.16, 0.8, 0.46, 0.9};
    case kStyleProc20: return {0.005, 0.995, 0.9, 0.95, 1.0, 1.0, 0.2, 0.75};
    case kStyleProc23: return {0.0025, 0.9975, 0.95, 0.9, 0.98, 1.0, 0.8, 0.5};
    default: return {0.01, 0.99, 0.82, 1.0, 1.0, 1.0, 0.0, 0.0};
  }
}

StyleParams apply_additional_set(StyleParams params, std::int32_t set) {
  switch (set) {
    case kSetBrighter: params.gamma *= 0.72; break;
    case kSetMoreColor: params.saturation *= 1.28; break;
    case kSetLowerContrast: params.contrast *= 0.8; break;
    case kSetStrongerDestripe: params.destripe_strength = 1.0; break;
    default: break;
  }
  return params;
}

}  // namespace velmora
