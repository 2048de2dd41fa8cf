#pragma once
// The refresh operation: find the camera, read its directory five times on
// five openings, and merge what was read.

#include <vector>

#include "link/discovery.h"
#include "link/transport.h"
#include "ops/operation_env.h"
#include "ops/scan_data.h"

namespace velmora {

// The refusal when discovery finds only the related 093A:010F camera.
inline constexpr const char* kVariantRefusal =
    "Active reads have only been verified for USB 093A:010E (not this variant)";

// The interface a refresh talks to: the first of an 093A:010E device. Throws
// the refusal when there is none, or only the related variant.
const CameraInterfaceInfo& choose_camera(const std::vector<CameraInterfaceInfo>& interfaces);
// Opens the chosen camera and reads its descriptors into `descriptors`;
// throws "USB descriptor mismatch" unless they name 093A:010E.
CameraSession open_chosen_camera(const CameraEnvironment& env, const CameraInterfaceInfo& camera,
                                 CameraDescriptors& descriptors);

ScanData scan_camera(const CameraEnvironment& env, const ProgressFn& progress);

}  // namespace velmora
