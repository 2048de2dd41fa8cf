#include "protocol/photo_fetch.h"

#include <algorithm>

#include "protocol/exchange.h"

namespace velmora {

PhotoTransfer fetch_photo(CameraSession& session, const PhotoEntry& entry) {
  prepare_session(session, 5000, "Active photo download is intentionally limited to verified CIF PID 010e");

  PhotoTransfer result;
  result.payload_size = entry.size_bytes;
  result.transfer_size = photo_transfer_length(entry.size_bytes);
  if (entry.size_bytes == 0) {
    result.error = "PAT reports a zero-byte photo";
    return result;
  }
  if (result.transfer_size > kPhotoTransferCap) {
    result.error = "PAT-derived transfer exceeds the 16 MiB safety cap";
    return result;
  }

  const OperationClock clock = OperationClock::start(session.clock());
  ExchangeContext context{session, result.log, clock};
  try {
    // The address is PAT bytes 1 to 6.
    SequenceAddress address;
    std::copy_n(entry.pat_bytes.begin() + 1, address.size(), address.begin());
    result.error = run_sequence(context, Sequence::kPhoto, address);
    if (!result.error.empty()) return result;
    result.transfer.reserve(result.transfer_size);
    std::uint64_t remaining = result.transfer_size;
    for (std::uint64_t chunk = 1; remaining > 0; ++chunk) {
      const std::uint64_t n = std::min<std::uint64_t>(remaining, kMaxReadBytes);
      const auto bytes = bulk_read(session, kDataPipe, n, true, result.log, clock.elapsed_ms(),
                                   "PHOTO data chunk " + std::to_string(chunk));
      result.transfer.insert(result.transfer.end(), bytes.begin(), bytes.end());
      remaining -= n;
    }
  } catch (const std::exception& e) {
    result.error = e.what();
    return result;
  }
  const auto first = result.transfer.begin() + kPhotoLeadIn;
  result.payload.assign(first, first + entry.size_bytes);
  result.ok = true;
  return result;
}

}  // namespace velmora
