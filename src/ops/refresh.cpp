#include "ops/refresh.h"

#include "base/failure.h"
#include "base/text.h"
#include "link/discovery.h"
#include "protocol/directory.h"

namespace velmora {
namespace {

constexpr int kObservations = 5;

}  // namespace

const CameraInterfaceInfo& choose_camera(const std::vector<CameraInterfaceInfo>& interfaces) {
  if (interfaces.empty()) {
    throw Failure("No WinUSB-bound MR97310 camera found. Check Device Manager and WinUsb Device binding.");
  }
  for (const auto& candidate : interfaces) {
    if (candidate.vendor_id == kCameraVendorId && candidate.product_id == kCameraProductId) return candidate;
  }
  throw Failure(kVariantRefusal);
}

CameraSession open_chosen_camera(const CameraEnvironment& env, const CameraInterfaceInfo& camera,
                                 CameraDescriptors& descriptors) {
  CameraSession session = open_camera(env.usb, camera.device_path, env.clock);
  descriptors = query_descriptors(session);
  if (descriptors.vid != kCameraVendorId || descriptors.pid != kCameraProductId) {
    throw Failure("USB descriptor mismatch");
  }
  return session;
}

namespace {

// One read of these cameras is not trusted: read five times on five openings
// and keep every entry that a completed read validated.
std::vector<PhotoEntry> observe_directory(const CameraEnvironment& env, CameraSession& session, ScanData& result,
                                          const ProgressFn& progress) {
  int successes = 0;
  std::vector<std::vector<PhotoEntry>> observations;
  for (int n = 1; n <= kObservations; ++n) {
    if (n >= 2) {
      close_camera(session);
      paced_sleep(env.clock, 100);
      session = open_camera(env.usb, result.device_path, env.clock);
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
  return merge_observations(observations);
}

}  // namespace

ScanData scan_camera(const CameraEnvironment& env, const ProgressFn& progress) {
  const std::vector<CameraInterfaceInfo> interfaces = find_camera_interfaces(env.devices);
  const CameraInterfaceInfo& chosen = choose_camera(interfaces);
  progress(u"Opening the camera safely...");
  ScanData result;
  CameraSession session = open_chosen_camera(env, chosen, result.descriptors);
  result.device_path = chosen.device_path;
  result.camera_name = chosen.description;
  result.driver_service = chosen.driver_service;
  result.entries = observe_directory(env, session, result, progress);
  progress(u"Camera directory read: " + utf8_to_utf16(std::to_string(result.entries.size())) + u" validated item(s).");
  close_camera(session);
  return result;
}

}  // namespace velmora
