#pragma once
// The texts a download writes besides its images: the USB log of a transfer
// log, the per-photo metadata file and the session log of the whole job. All
// UTF-8 with "\n" line ends, laid out byte for byte so runs can be compared.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/transfer_log.h"
#include "protocol/pat.h"

namespace velmora {

// Lower-case byte pairs separated by spaces; past `limit` bytes only the
// first `limit` are shown, followed by " ...".
std::string hex_bytes_limited(std::span<const std::uint8_t> bytes, std::size_t limit);

// Two lines per record: the record's fields, then up to 64 data bytes.
std::string format_usb_log(const TransferLog& log);

// The six-line metadata file of one photo. `stored` is the fetched payload.
std::string metadata_text(const PhotoEntry& entry, std::span<const std::uint8_t> stored, std::string_view timestamp);

// Built while the job runs; written only when the user asked for the USB log.
class SessionLog {
 public:
  // Starts with the header.
  SessionLog();

  // item is the list index + 1; raw_name the archive's file name (UTF-8).
  void photo_archived(std::uint64_t item, const PhotoEntry& entry, std::string_view raw_name);
  void fetch_log(const TransferLog& log);
  void variant_skipped(std::string_view error);
  void photo_failed(std::uint64_t item, std::string_view error);
  void completed(std::int32_t saved, std::int32_t failed);
  // One "Directory observation k" section per log, k from 1.
  void directory_observations(const std::vector<TransferLog>& logs);

  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace velmora
