#include "ops/session_log.h"

#include <algorithm>

#include "base/camera_format.h"
#include "base/text.h"

namespace velmora {
namespace {

constexpr std::size_t kUsbLogDataLimit = 64;

// The dash is U+2014.
constexpr std::string_view kSessionHeader =
    "Velmora 0.7.4 \xE2\x80\x94 read-only image recovery\n"
    "USB: 093A:010E / WinUSB\n"
    "Destination: user-selected folder\n"
    "\n";

std::string pat_text(const PhotoEntry& entry) { return hex_bytes_limited(entry.pat_bytes, kPatEntrySize); }

}  // namespace

std::string hex_bytes_limited(std::span<const std::uint8_t> bytes, std::size_t limit) {
  if (bytes.size() <= limit) return hex_bytes(bytes);
  return hex_bytes(bytes.first(limit)) + " ...";
}

std::string format_usb_log(const TransferLog& log) {
  std::string text;
  for (const TransferRecord& r : log) {
    text += "#" + std::to_string(r.sequence) + " +" + std::to_string(r.elapsed_ms) + "ms " + r.direction +
            " endpoint=" + hex_bytes(std::span<const std::uint8_t>(&r.endpoint, 1)) +
            " requested=" + std::to_string(r.requested) + " actual=" + std::to_string(r.data.size()) + " " +
            (r.ok ? "OK" : "FAIL") + " error=" + std::to_string(r.error_code) + " " + r.label + "\n";
    text += "  " + hex_bytes_limited(r.data, kUsbLogDataLimit) + "\n";
  }
  return text;
}

std::string metadata_text(const PhotoEntry& entry, std::span<const std::uint8_t> stored, std::string_view timestamp) {
  std::string text;
  text += "PAT: " + pat_text(entry) + "\n";
  text +=
      "Header: " + hex_bytes_limited(stored.first(std::min(stored.size(), kRawHeaderBytes)), kRawHeaderBytes) + "\n";
  text += "Dimensions: " + std::to_string(entry.width) + "x" + std::to_string(entry.height) + "\n";
  text += std::string("Compressed: ") + (entry.compressed ? "yes" : "no") + "\n";
  text += "Original stored bytes: " + std::to_string(entry.size_bytes) + "\n";
  text += "Download time (local): " + std::string(timestamp) + "\n";
  return text;
}

SessionLog::SessionLog() : text_(kSessionHeader) {}

void SessionLog::photo_archived(std::uint64_t item, const PhotoEntry& entry, std::string_view raw_name) {
  text_ += "Photo " + std::to_string(item) + " PAT " + pat_text(entry) + " raw=" + std::string(raw_name) + "\n";
}

void SessionLog::fetch_log(const TransferLog& log) { text_ += format_usb_log(log) + "\n"; }

void SessionLog::variant_skipped(std::string_view error) {
  text_ += "Optional glitch variant skipped: " + std::string(error) + "\n";
}

void SessionLog::photo_failed(std::uint64_t item, std::string_view error) {
  text_ += "Photo " + std::to_string(item) + " failed: " + std::string(error) + "\n";
}

void SessionLog::completed(std::int32_t saved, std::int32_t failed) {
  text_ += "\nCompleted: " + std::to_string(saved) + " successful; " + std::to_string(failed) + " failed.\n";
}

void SessionLog::directory_observations(const std::vector<TransferLog>& logs) {
  for (std::size_t k = 0; k < logs.size(); ++k) {
    text_ += "\nDirectory observation " + std::to_string(k + 1) + "\n" + format_usb_log(logs[k]);
  }
}

}  // namespace velmora
