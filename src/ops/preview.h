#pragma once
// The preview operation: one photo fetched, decoded and rendered in memory.
// No file is written.

#include <cstdint>

#include "ops/operation_env.h"
#include "ops/scan_data.h"
#include "render/rgb_image.h"

namespace velmora {

RgbImage render_preview(const CameraEnvironment& env, const ScanData& snapshot, std::uint64_t index,
                        std::int32_t pattern, const ProgressFn& progress);

}  // namespace velmora
