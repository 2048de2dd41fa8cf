#pragma once
// Mars encoder for the simulated camera and the tests: turns a Bayer plane
// into a stream that decompress_mars (variant 0) reproduces closely. Not part
// of the product: the camera does the real compression.

#include <cstdint>
#include <vector>

#include "decode/bayer_plane.h"

namespace velmora::sim {

// Every decoded sample is within 7 of the plane's (literals have a step of 8
// and stop at 248); a plane that some stream decodes to comes back exactly.
// The plane must be 2..4096 on each side with width x height samples, else
// throws Failure.
std::vector<std::uint8_t> encode_mars(const BayerPlane& plane);

}  // namespace velmora::sim
