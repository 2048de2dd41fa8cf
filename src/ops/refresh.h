#pragma once
// The refresh operation: find the camera, read its directory five times on
// five openings, and merge what was read.

#include "ops/operation_env.h"
#include "ops/scan_data.h"

namespace velmora {

ScanData scan_camera(const CameraEnvironment& env, const ProgressFn& progress);

}  // namespace velmora
