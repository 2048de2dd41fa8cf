// The file calls of the native build over POSIX, with the Windows calls'
// contracts: a write either completes or fails, and failures leave the nearest
// Windows error code as the last error.
#include <cerrno>
#include <cstdint>

#include <fcntl.h>
#include <unistd.h>

#include "platform/file_api.h"
#include "platform/last_error.h"

namespace velmora {
namespace {

std::uint32_t windows_error_of(int error, bool naming_a_file) {
  switch (error) {
    case EEXIST: return kErrorFileExists;
    case ENOSPC:
    case EDQUOT: return kErrorDiskFull;
    case EACCES:
    case EPERM:
    case EROFS: return kErrorAccessDenied;
    case ENOENT: return naming_a_file ? kErrorFileNotFound : kErrorPathNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EBADF: return kErrorInvalidHandle;
    case ENAMETOOLONG: return kErrorFilenameTooLong;
    default: return kErrorGenFailure;
  }
}

bool fail(bool naming_a_file = false) {
  set_last_error(windows_error_of(errno, naming_a_file));
  return false;
}

int descriptor_of(FileHandle file) { return static_cast<int>(reinterpret_cast<std::intptr_t>(file)); }

class PosixFileApi final : public FileApi {
 public:
  FileHandle create_new_file(const std::filesystem::path& path) override {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      fail();
      return invalid_file_handle();
    }
    return reinterpret_cast<FileHandle>(static_cast<std::intptr_t>(fd));
  }

  bool write_file(FileHandle file, const std::uint8_t* data, std::uint32_t size, std::uint32_t* written) override {
    *written = 0;
    while (*written < size) {
      const ssize_t n = ::write(descriptor_of(file), data + *written, size - *written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n == 0) errno = ENOSPC;
        return fail();
      }
      *written += static_cast<std::uint32_t>(n);
    }
    return true;
  }

  bool flush_file_buffers(FileHandle file) override { return ::fsync(descriptor_of(file)) == 0 || fail(); }

  // Linux releases the descriptor even when close reports an error, so it is
  // never retried.
  bool close_handle(FileHandle file) override { return ::close(descriptor_of(file)) == 0 || fail(); }

  bool delete_file(const std::filesystem::path& path) override { return ::unlink(path.c_str()) == 0 || fail(true); }
};

}  // namespace

FileApi& system_file_api() {
  static PosixFileApi api;
  return api;
}

}  // namespace velmora
