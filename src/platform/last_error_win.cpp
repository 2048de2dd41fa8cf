#include <windows.h>

#include "platform/last_error.h"

namespace velmora {

std::uint32_t get_last_error() { return ::GetLastError(); }
void set_last_error(std::uint32_t code) { ::SetLastError(code); }

}  // namespace velmora
