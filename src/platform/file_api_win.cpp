// Implementation here must contain only generic Windows code: each method is
// one call of the function it mirrors.
#include <windows.h>

#include "platform/file_api.h"

namespace velmora {
namespace {

static_assert(sizeof(DWORD) == 4);

class KernelFileApi final : public FileApi {
 public:
  FileHandle create_new_file(const std::filesystem::path& path) override {
    return ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  bool write_file(FileHandle file, const std::uint8_t* data, std::uint32_t size, std::uint32_t* written) override {
    DWORD done = 0;
    const BOOL ok = ::WriteFile(file, data, size, &done, nullptr);
    *written = done;
    return ok != FALSE;
  }
  bool flush_file_buffers(FileHandle file) override { return ::FlushFileBuffers(file) != FALSE; }
  bool close_handle(FileHandle file) override { return ::CloseHandle(file) != FALSE; }
  bool delete_file(const std::filesystem::path& path) override { return ::DeleteFileW(path.c_str()) != FALSE; }
};

}  // namespace

FileApi& system_file_api() {
  static KernelFileApi api;
  return api;
}

}  // namespace velmora
