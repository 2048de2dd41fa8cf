#include "ops/refresh.h"

#include "base/failure.h"
#include "base/text.h"
#include "link/discovery.h"
#include "protocol/directory.h"

namespace velmora {
namespace {

constexpr int kObservations = 5;

}  // namespace

ScanData scan_camera(const CameraEnvironment& env, const ProgressFn& progress) {
  const std::vector<CameraInterfaceInfo> candidates = find_camera_interfaces(env.devices);
  if (candidates.empty()) {
    throw Failure("No WinUSB-bound MR97310 camera found. Check Device Manager and WinUsb Device binding.");
  }
  const CameraInterfaceInfo* chosen = nullptr;
  for (const auto& candidate : candidates) {
    if (candidate.vendor_id == kCameraVendorId && candidate.product_id == kCameraProductId) {
      chosen = &candidate;
      break;
    }
  }
  if (chosen == nullptr) throw Failure(kVariantRefusal);

  progress(u"Opening the camera safely...");
  CameraSession session = open_camera(env.usb, chosen->device_path, env.clock);
  ScanData result;
  result.device_path = chosen->device_path;
  result.camera_name = chosen->description;
  result.driver_service = chosen->driver_service;
  result.descriptors = query_descriptors(session);
  if (result.descriptors.vid != kCameraVendorId || result.descriptors.pid != kCameraProductId) {
    throw Failure("USB descriptor mismatch");
  }

  // One read of these cameras is not trusted: read five times on five openings
  // and keep every entry that a completed read validated.
  int successes = 0;
  std::vector<std::vector<PhotoEntry>> observations;
  for (int n = 1; n <= kObservations; ++n) {
    if (n >= 2) {
      close_camera(session);
      paced_sleep(env.clock, 100);
      session = open_camera(env.usb, chosen->device_path, env.clock);
      paced_sleep(env.clock, 50);
    }
    progress(u"Reading camera directory (observation " + utf8_to_utf16(std::to_string(n)) + u" of 5)...");
    DirectoryReadResult read = read_directory(session);
    result.observation_logs.push_back(std::move(read.log));
    if (read.ok) {
      ++successes;
      observations.push_back(parse_pat(read.pat));
    } else {
      observations.emplace_back();
    }
    if (n <= 4) paced_sleep(env.clock, 100);
  }
  if (successes == 0) {
    throw Failure("All five bounded camera directory reads failed. Reconnect the camera; do not reset/delete it.");
  }
  result.entries = merge_observations(observations);
  progress(u"Camera directory read: " + utf8_to_utf16(std::to_string(result.entries.size())) +
           u" validated item(s).");
  close_camera(session);
  return result;
}

}  // namespace velmora
