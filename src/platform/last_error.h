#pragma once
// The calling thread's last Windows error code: GetLastError / SetLastError on
// Windows, a thread-local emulation elsewhere so failures read the same.

#include <cstdint>

namespace velmora {

// Mirrors GetLastError. Never blocks.
std::uint32_t get_last_error();
// Mirrors SetLastError. Never blocks.
void set_last_error(std::uint32_t code);

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorGenFailure = 31;
constexpr std::uint32_t kErrorSemTimeout = 121;   // a WinUSB pipe timeout
constexpr std::uint32_t kErrorNoMoreItems = 259;
constexpr std::uint32_t kErrorDeviceNotConnected = 1167;

}  // namespace velmora
