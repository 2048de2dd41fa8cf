#pragma once
// The camera's directory table (PAT): 8-byte entries somewhere inside the
// 8192-byte directory buffer. Pure computation on bytes; nothing here throws.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmora {

inline constexpr std::size_t kPatEntrySize = 8;
// Most entries examined per scan or parse.
inline constexpr std::size_t kPatEntryLimit = 1022;
// No photo transfer may exceed 16 MiB.
inline constexpr std::uint64_t kPhotoTransferCap = 16777216;

// The low nibble of an entry's first byte; the high nibble holds flags.
inline constexpr std::uint8_t kTypeCodeMask = 0x0F;
inline constexpr std::uint8_t kLowResolutionType = 0;
inline constexpr std::uint8_t kNonStillType = 1;
inline constexpr std::uint8_t kHighResolutionType = 2;
inline constexpr std::uint8_t kCompressedFlag = 0x20;

struct PhotoGeometry {
  std::uint32_t width;
  std::uint32_t height;
};

// The geometry a type code implies (0x0 for the non-still code); none for
// the codes that make an entry invalid.
std::optional<PhotoGeometry> type_code_geometry(std::uint8_t type_code);
// "HR", "LR", "R6", ...: the first part of a short code.
std::string type_code_label(std::uint8_t type_code);

// Bytes read from the data pipe for a photo of size_bytes stored bytes:
// a 128-byte lead-in, the payload and padding, in whole 8192-byte chunks.
std::uint64_t photo_transfer_length(std::uint64_t size_bytes);

struct PhotoEntry {
  std::uint64_t index = 0;
  std::array<std::uint8_t, kPatEntrySize> pat_bytes{};
  std::uint8_t flags = 0;
  std::uint8_t type_code = 0;
  std::uint8_t flag_high_bits = 0;
  bool compressed = false;
  bool non_still = false;
  std::uint32_t size_bytes = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;

  // The 24-bit location value of bytes 1-3; the photo's address on the camera.
  std::uint32_t location() const;
  friend bool operator==(const PhotoEntry&, const PhotoEntry&) = default;
};

// "High (HR)", "Low (LR)" or "Other".
std::string resolution_label(const PhotoEntry& entry);
// "Yes (CP)" or "No (nP)".
std::string compression_label(const PhotoEntry& entry);
// "HR-CP", "LR-nP", "R6-CP", "R1-nP", ...
std::string short_code(const PhotoEntry& entry);
// One listing line without line end:
// "0 22 34 12 00 0c 63 01 07 HR-CP 352x288 90892".
std::string photo_list_line(const PhotoEntry& entry);

bool is_valid_pat_entry(std::span<const std::uint8_t> buffer, std::size_t entry_offset);
// Start of the table inside a directory buffer: offset 16 or 144, or none.
std::optional<std::size_t> locate_pat_table(std::span<const std::uint8_t> buffer);
// Entries from the start of table_bytes up to the end marker, the first
// invalid entry or the entry limit.
std::vector<PhotoEntry> parse_pat_entries(std::span<const std::uint8_t> table_bytes);
// One directory observation: locates the table and parses it.
std::vector<PhotoEntry> parse_pat(std::span<const std::uint8_t> buffer);
// Union of the observations (de-duplicated on all 8 PAT bytes), sorted by
// location, size and PAT bytes, renumbered from 0.
std::vector<PhotoEntry> merge_observations(const std::vector<std::vector<PhotoEntry>>& observations);

}  // namespace velmora
