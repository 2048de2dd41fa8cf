#pragma once
// The eight numbers that tell the parametric styles apart, and the changes
// the additional sets make to them.

#include <cstdint>
#include <string>

namespace velmora {

// Output style numbers (style_name gives the names used in file names).
enum OutputStyle : std::int32_t {
  kStyleRestrained = 0,
  kStyleBalanced = 1,
  kStyleExpressive = 2,
  kStyleProc20 = 3,
  kStyleProc23 = 4,
  kStyleBaseline = 5,
  kStyleMarsHistorical = 6,
  kStyleGrayworld = 7,
};

// Additional set numbers; 0 is the plain render.
enum AdditionalSet : std::int32_t {
  kSetPlain = 0,
  kSetBrighter = 1,
  kSetMoreColor = 2,
  kSetLowerContrast = 3,
  kSetStrongerDestripe = 4,
};

struct StyleParams {
  double low_percentile = 0.0;          // fraction of pixels below the black point
  double high_percentile = 1.0;         // fraction of pixels at or below the white point
  double gamma = 1.0;                   // tone curve exponent; below 1 brightens
  double contrast = 1.0;                // factor around 128
  double saturation = 1.0;              // factor around the pixel's luma
  double white_balance_strength = 0.0;  // 0..1 share of the gray-world gains
  double highlight_shaping = 0.0;       // 0..1.5 compression above 70 %
  double destripe_strength = 0.0;       // 0..1 share of the row flattening
};

// "restrained" ... "grayworld" for 0..7, "unknown" otherwise.
std::string style_name(std::int32_t style);
// "" for 0, "brighter", "more-color", "lower-contrast", "stronger-destripe"
// for 1..4, "unknown" otherwise.
std::string additional_set_name(std::int32_t set);

// Parameters of the parametric styles 0..4; every other number (the
// non-parametric 5..7 included) gets the fallback parameters.
StyleParams style_params(std::int32_t style);
// The set's change applied to params; unknown set numbers change nothing.
StyleParams apply_additional_set(StyleParams params, std::int32_t set);

}  // namespace velmora
