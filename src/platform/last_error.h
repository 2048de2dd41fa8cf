#pragma once
// The calling thread's last Windows error code: GetLastError / SetLastError on
// Windows, a thread-local emulation elsewhere so failures read the same. The
// Windows error codes the program uses are named here and nowhere else; other
// platforms' backends translate their errors into them.

#include <cstdint>

namespace velmora {

// Mirrors GetLastError. Never blocks.
std::uint32_t get_last_error();
// Mirrors SetLastError. Never blocks.
void set_last_error(std::uint32_t code);

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorNotEnoughMemory = 8;
constexpr std::uint32_t kErrorInvalidData = 13;
constexpr std::uint32_t kErrorGenFailure = 31;
constexpr std::uint32_t kErrorNotSupported = 50;
constexpr std::uint32_t kErrorFileExists = 80;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorDiskFull = 112;
constexpr std::uint32_t kErrorSemTimeout = 121;  // a WinUSB pipe timeout
constexpr std::uint32_t kErrorInsufficientBuffer = 122;
constexpr std::uint32_t kErrorBusy = 170;
constexpr std::uint32_t kErrorFilenameTooLong = 206;
constexpr std::uint32_t kErrorNoMoreItems = 259;
constexpr std::uint32_t kErrorDeviceNotConnected = 1167;
constexpr std::uint32_t kErrorInvalidUserBuffer = 1784;

}  // namespace velmora
