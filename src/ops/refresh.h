#pragma once
// The refresh operation: find the camera, read its directory five times on
// five openings, and merge what was read.

#include "ops/operation_env.h"
#include "ops/scan_data.h"

namespace velmora {

// The refusal when discovery finds only the related 093A:010F camera.
inline constexpr const char* kVariantRefusal =
    "Active reads have only been verified for USB 093A:010E (not this variant)";

ScanData scan_camera(const CameraEnvironment& env, const ProgressFn& progress);

}  // namespace velmora
