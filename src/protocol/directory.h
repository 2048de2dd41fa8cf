#pragma once
// One directory observation: the INIT and GET_DATA sequences with an all-zero
// address, then one bounded 8192-byte read of the configuration area.

#include <cstdint>
#include <string>
#include <vector>

#include "base/camera_format.h"
#include "link/transfer_log.h"
#include "link/transport.h"

namespace velmora {

struct DirectoryReadResult {
  std::vector<std::uint8_t> pat;  // the 8192 bytes; empty unless ok
  TransferLog log;
  bool ok = false;
  std::string error;
};

// Raises for the checks made before the first transfer; every later failure
// is returned with its message and the log so far.
DirectoryReadResult read_directory(CameraSession& session);

}  // namespace velmora
