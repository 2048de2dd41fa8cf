#pragma once
// The one error type of the program: a fixed English message as UTF-8 text.
// Operations report what() to the user unchanged.

#include <stdexcept>
#include <string>

namespace velmora {

class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace velmora
