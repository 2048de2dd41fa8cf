#pragma once
#include <filesystem>

namespace velmora::test {

// A fresh, empty directory under the system's temporary folder, removed with
// everything in it when the owner goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace velmora::test
