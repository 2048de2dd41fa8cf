#include "protocol/pat.h"

#include <algorithm>
#include <set>

#include "base/camera_format.h"
#include "base/text.h"

namespace velmora {
namespace {

constexpr std::uint8_t kEndMarker = 0xFF;
constexpr std::array<std::size_t, 2> kTableCandidates = {16, 144};

std::uint32_t read_u24(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16);
}

PhotoEntry make_entry(const std::uint8_t* p, std::uint64_t index) {
  PhotoEntry entry;
  entry.index = index;
  std::copy(p, p + kPatEntrySize, entry.pat_bytes.begin());
  entry.flags = p[0];
  entry.type_code = p[0] & kTypeCodeMask;
  entry.flag_high_bits = p[0] & 0xF0;
  entry.compressed = (p[0] & kCompressedFlag) != 0;
  entry.non_still = entry.type_code == kNonStillType;
  entry.size_bytes = read_u24(p + 4);
  const PhotoGeometry geometry = type_code_geometry(entry.type_code).value_or(PhotoGeometry{0, 0});
  entry.width = geometry.width;
  entry.height = geometry.height;
  return entry;
}

}  // namespace

std::optional<PhotoGeometry> type_code_geometry(std::uint8_t type_code) {
  switch (type_code) {
    case kLowResolutionType: return PhotoGeometry{176, 144};
    case kNonStillType: return PhotoGeometry{0, 0};
    case kHighResolutionType: return PhotoGeometry{352, 288};
    case 6: return PhotoGeometry{320, 240};
    case 8: return PhotoGeometry{640, 480};
    default: return std::nullopt;
  }
}

std::string type_code_label(std::uint8_t type_code) {
  switch (type_code) {
    case kHighResolutionType: return "HR";
    case kLowResolutionType: return "LR";
    default: return "R" + std::to_string(type_code);
  }
}

namespace {

struct TableScan {
  std::size_t offset = 0;
  std::size_t count = 0;
  bool terminated = false;
  std::uint64_t total_size = 0;
};

std::optional<TableScan> scan_candidate(std::span<const std::uint8_t> buffer, std::size_t offset) {
  if (offset >= buffer.size() || buffer.size() - offset < kPatEntrySize) return std::nullopt;
  const std::size_t limit = std::min((buffer.size() - offset) / kPatEntrySize, kPatEntryLimit);
  TableScan scan;
  scan.offset = offset;
  while (scan.count < limit) {
    const std::size_t at = offset + scan.count * kPatEntrySize;
    if (buffer[at] == kEndMarker) {
      scan.terminated = true;
      break;
    }
    if (!is_valid_pat_entry(buffer, at)) break;
    scan.total_size += read_u24(buffer.data() + at + 4);
    ++scan.count;
  }
  if (scan.count == 0) return std::nullopt;
  return scan;
}

bool better_scan(const TableScan& a, const TableScan& b) {
  if (a.count != b.count) return a.count > b.count;
  if (a.terminated != b.terminated) return a.terminated;
  if (a.total_size != b.total_size) return a.total_size < b.total_size;
  return a.offset < b.offset;
}

bool sorts_before(const PhotoEntry& a, const PhotoEntry& b) {
  if (a.location() != b.location()) return a.location() < b.location();
  if (a.size_bytes != b.size_bytes) return a.size_bytes < b.size_bytes;
  return a.pat_bytes < b.pat_bytes;
}

}  // namespace

std::uint64_t photo_transfer_length(std::uint64_t size_bytes) { return (size_bytes + 432) / 8192 * 8192 + 8192; }

std::uint32_t PhotoEntry::location() const { return read_u24(pat_bytes.data() + 1); }

std::string resolution_label(const PhotoEntry& entry) {
  switch (entry.type_code) {
    case kHighResolutionType: return "High (HR)";
    case kLowResolutionType: return "Low (LR)";
    default: return "Other";
  }
}

std::string compression_label(const PhotoEntry& entry) { return entry.compressed ? "Yes (CP)" : "No (nP)"; }

std::string short_code(const PhotoEntry& entry) {
  return type_code_label(entry.type_code) + (entry.compressed ? "-CP" : "-nP");
}

std::string photo_list_line(const PhotoEntry& entry) {
  return std::to_string(entry.index) + " " + hex_bytes(entry.pat_bytes) + " " + short_code(entry) + " " +
         std::to_string(entry.width) + "x" + std::to_string(entry.height) + " " + std::to_string(entry.size_bytes);
}

bool is_valid_pat_entry(std::span<const std::uint8_t> buffer, std::size_t entry_offset) {
  if (buffer.size() < kPatEntrySize || entry_offset > buffer.size() - kPatEntrySize) return false;
  const std::uint8_t* p = buffer.data() + entry_offset;
  if (p[0] == kEndMarker) return false;
  const std::uint8_t type_code = p[0] & kTypeCodeMask;
  const auto geometry = type_code_geometry(type_code);
  if (!geometry) return false;
  const std::uint64_t size = read_u24(p + 4);
  if (size == 0 || photo_transfer_length(size) > kPhotoTransferCap) return false;
  if (type_code == kNonStillType) return true;
  const std::uint64_t expected = std::uint64_t{geometry->width} * geometry->height + kRawHeaderBytes;
  if ((p[0] & kCompressedFlag) != 0) return size >= kRawHeaderBytes && size < expected;
  return size == expected;
}

std::optional<std::size_t> locate_pat_table(std::span<const std::uint8_t> buffer) {
  std::optional<TableScan> best;
  for (const std::size_t offset : kTableCandidates) {
    const auto scan = scan_candidate(buffer, offset);
    if (scan && (!best || better_scan(*scan, *best))) best = scan;
  }
  if (!best) return std::nullopt;
  return best->offset;
}

std::vector<PhotoEntry> parse_pat_entries(std::span<const std::uint8_t> table_bytes) {
  const std::size_t limit = std::min(table_bytes.size() / kPatEntrySize, kPatEntryLimit);
  std::vector<PhotoEntry> entries;
  for (std::size_t i = 0; i < limit; ++i) {
    const std::size_t at = i * kPatEntrySize;
    if (table_bytes[at] == kEndMarker || !is_valid_pat_entry(table_bytes, at)) break;
    entries.push_back(make_entry(table_bytes.data() + at, i));
  }
  return entries;
}

std::vector<PhotoEntry> parse_pat(std::span<const std::uint8_t> buffer) {
  const auto offset = locate_pat_table(buffer);
  if (!offset || *offset >= buffer.size()) return {};
  return parse_pat_entries(buffer.subspan(*offset));
}

std::vector<PhotoEntry> merge_observations(const std::vector<std::vector<PhotoEntry>>& observations) {
  std::vector<PhotoEntry> merged;
  std::set<std::array<std::uint8_t, kPatEntrySize>> seen;
  for (const auto& observation : observations) {
    for (const PhotoEntry& entry : observation) {
      if (seen.insert(entry.pat_bytes).second) merged.push_back(entry);
    }
  }
  std::sort(merged.begin(), merged.end(), sorts_before);
  for (std::size_t i = 0; i < merged.size(); ++i) merged[i].index = i;
  return merged;
}

}  // namespace velmora
