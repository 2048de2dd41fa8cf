#pragma once
// The kernel's calls for writing a new output file, mirroring CreateFileW with
// CREATE_NEW, WriteFile, FlushFileBuffers, CloseHandle and DeleteFileW one to
// one. Every call blocks until the operating system has finished it (a flush
// until the data is on the disk). A call that returns false, or an invalid
// handle, leaves the Windows error code in the thread's last error
// (platform/last_error.h); the POSIX implementation translates errno.
//
// Implementations: platform/file_api_win.cpp (the kernel),
// platform/file_api_posix.cpp (POSIX calls for the native build) and
// tests/support/faulty_file_api.h (injected failures).

#include <cstdint>
#include <filesystem>

#include "platform/last_error.h"

namespace velmora {

using FileHandle = void*;  // a Windows HANDLE

// INVALID_HANDLE_VALUE.
inline FileHandle invalid_file_handle() { return reinterpret_cast<FileHandle>(static_cast<std::intptr_t>(-1)); }

class FileApi {
 public:
  virtual ~FileApi() = default;

  // CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr):
  // creates the file only when nothing exists under the name, so an existing
  // file is never opened or truncated (ERROR_FILE_EXISTS). Returns
  // invalid_file_handle() on failure.
  virtual FileHandle create_new_file(const std::filesystem::path& path) = 0;
  // WriteFile(file, data, size, written, nullptr) at the current end. Returns
  // true when the call succeeded; *written may still be short of size. On
  // failure (for example ERROR_DISK_FULL) *written holds what did reach the file.
  virtual bool write_file(FileHandle file, const std::uint8_t* data, std::uint32_t size, std::uint32_t* written) = 0;
  // FlushFileBuffers.
  virtual bool flush_file_buffers(FileHandle file) = 0;
  // CloseHandle. The handle is gone afterwards even when this reports failure.
  virtual bool close_handle(FileHandle file) = 0;
  // DeleteFileW.
  virtual bool delete_file(const std::filesystem::path& path) = 0;
};

// The operating system's file calls: the kernel on Windows, POSIX elsewhere.
FileApi& system_file_api();

}  // namespace velmora
