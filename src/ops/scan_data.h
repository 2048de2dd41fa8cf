#pragma once

#include <memory>
#include <string>
#include <vector>

#include "link/transfer_log.h"
#include "link/transport.h"
#include "protocol/pat.h"

namespace velmora {

// The immutable snapshot of one successful refresh. Shared by the window and
// any running preview or download; never modified once built.
struct ScanData {
  std::u16string device_path;
  std::u16string camera_name;
  std::u16string driver_service;
  CameraDescriptors descriptors;
  std::vector<PhotoEntry> entries;  // entries[i].index == i
  std::vector<TransferLog> observation_logs;
};

using ScanSnapshot = std::shared_ptr<const ScanData>;

}  // namespace velmora
