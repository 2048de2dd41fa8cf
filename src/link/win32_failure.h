#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/failure.h"

namespace velmora {

// A failed Windows call: "<operation> (Win32 error <code>)". The code is the
// thread's last error at construction; callers that make other Windows calls
// after the failure put the code back with set_last_error first.
class Win32Failure : public Failure {
 public:
  explicit Win32Failure(std::string_view operation);
  std::uint32_t code() const { return code_; }

 private:
  Win32Failure(std::string_view operation, std::uint32_t code);
  std::uint32_t code_;
};

}  // namespace velmora
