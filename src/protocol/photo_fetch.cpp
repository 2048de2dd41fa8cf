#include "protocol/photo_fetch.h"

#include <algorithm>

#include "protocol/exchange.h"

namespace velmora {
namespace {

// Returns an error text, or empty when the camera is ready to send the data.
std::string address_photo(ExchangeContext& context, const PhotoEntry& entry) {
  if (!check_initial_status(context, "PHOTO GET_DATA initial status", "PHOTO GET_DATA").ok) {
    return "Camera remains jammed after the single documented photo-download clear attempt";
  }
  const auto& a = entry.pat_bytes;  // address bytes 1-6 are PAT bytes 1-6
  command_with_status(context, {kToken, kStartCommand}, "PHOTO GET_DATA start 0x51");
  command_with_status(context, {kToken, kGetDataOperation}, "PHOTO GET_DATA operation 0x0f");
  command_with_status(context, {kToken, a[1]}, "PHOTO address byte 1");
  send_command(context, {kToken, a[2]}, "PHOTO address byte 2; begin bounded positioning poll");
  if (!poll_positioning(context, "PHOTO GET_DATA", 2000)) {
    return "Camera did not acknowledge photo positioning within the 2000 ms paced deadline";
  }
  for (int byte = 3; byte <= 6; ++byte) {
    command_with_status(context, {kToken, a[static_cast<std::size_t>(byte)]},
                        "PHOTO address byte " + std::to_string(byte));
  }
  finish_sequence(context, "PHOTO final data-intent token", "PHOTO final response");
  return {};
}

}  // namespace

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

  const OperationClock clock = OperationClock::start(*session.clock);
  ExchangeContext context{session, result.log, clock};
  try {
    result.error = address_photo(context, entry);
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
