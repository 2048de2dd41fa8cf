// Runs a harness once on every file of the folders given, as a test of the
// normal build: the seed corpus and every input that once failed.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "base/read_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  std::size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    if (!std::filesystem::is_directory(argv[i])) continue;
    for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
      const std::vector<std::uint8_t> bytes = velmora::read_whole_file(entry.path());
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      ++count;
    }
  }
  std::printf("%zu passed, 0 failed\n", count);
  return count == 0 ? 1 : 0;
}
