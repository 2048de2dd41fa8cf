#pragma once
// One photo from the camera: the PHOTO GET_DATA sequence addressed with the
// entry's PAT bytes, then the data in 8192-byte chunks.

#include <cstdint>
#include <string>
#include <vector>

#include "link/transfer_log.h"
#include "link/transport.h"
#include "protocol/pat.h"

namespace velmora {

constexpr std::size_t kPhotoLeadIn = 128;

struct PhotoTransfer {
  std::vector<std::uint8_t> transfer;  // every byte read from pipe 0x82
  std::vector<std::uint8_t> payload;   // the stored photo after the lead-in; empty unless ok
  TransferLog log;
  std::uint32_t payload_size = 0;
  std::uint64_t transfer_size = 0;
  bool ok = false;
  std::string error;
};

// Raises for the checks made before any transfer; every later failure is
// returned with the chunks that arrived and the log so far.
PhotoTransfer fetch_photo(CameraSession& session, const PhotoEntry& entry);

}  // namespace velmora
