#include "link/win32_failure.h"

#include "platform/last_error.h"

namespace velmora {

Win32Failure::Win32Failure(std::string_view operation) : Win32Failure(operation, get_last_error()) {}

Win32Failure::Win32Failure(std::string_view operation, std::uint32_t code)
    : Failure(std::string(operation) + " (Win32 error " + std::to_string(code) + ")"), code_(code) {}

}  // namespace velmora
