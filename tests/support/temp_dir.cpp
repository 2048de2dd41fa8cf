#include "support/temp_dir.h"

#include <random>
#include <stdexcept>
#include <string>

namespace velmora::test {

TempDir::TempDir() {
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    auto candidate = std::filesystem::temp_directory_path() / ("velmora_test_" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) path_ = std::move(candidate);
  }
  if (path_.empty()) throw std::runtime_error("could not create a temporary directory");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace velmora::test
