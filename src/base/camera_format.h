#pragma once
// What every layer knows about the camera: its USB identity and the sizes of
// what it stores.

#include <cstddef>
#include <cstdint>

namespace velmora {

inline constexpr std::uint16_t kCameraVendorId = 0x093A;
inline constexpr std::uint16_t kCameraProductId = 0x010E;
// Recognised and reported, never sent a request.
inline constexpr std::uint16_t kRelatedProductId = 0x010F;

// The configuration area read as one directory observation.
inline constexpr std::uint64_t kDirectoryBytes = 8192;
// Every stored photo starts with this header; its samples or Mars stream follow.
inline constexpr std::size_t kRawHeaderBytes = 12;

}  // namespace velmora
