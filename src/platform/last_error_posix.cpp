#include "platform/last_error.h"

namespace velmora {
namespace {
thread_local std::uint32_t t_last_error = 0;
}

std::uint32_t get_last_error() { return t_last_error; }
void set_last_error(std::uint32_t code) { t_last_error = code; }

}  // namespace velmora
