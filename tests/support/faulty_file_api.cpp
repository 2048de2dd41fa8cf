#include "support/faulty_file_api.h"

#include "platform/last_error.h"

namespace velmora::test {

FaultyFileApi::FaultyFileApi(FileFaults faults_in, FileApi& real) : faults(faults_in), real_(real) {}

bool FaultyFileApi::fail_now() { return ++countable_ == faults.fail_call; }

FileHandle FaultyFileApi::create_new_file(const std::filesystem::path& path) {
  calls_.push_back("create");
  if (faults.before_create) faults.before_create(++creates_, path);
  if (fail_now() || faults.fail_create) {
    set_last_error(kErrorAccessDenied);
    return invalid_file_handle();
  }
  const FileHandle handle = real_.create_new_file(path);
  if (handle != invalid_file_handle()) ++open_handles_;
  return handle;
}

bool FaultyFileApi::write_file(FileHandle file, const std::uint8_t* data, std::uint32_t size, std::uint32_t* written) {
  calls_.push_back("write " + std::to_string(size));
  if (fail_now()) {
    real_.write_file(file, data, size / 2, written);
    set_last_error(kErrorDiskFull);
    return false;
  }
  if (!faults.disk_space || *faults.disk_space >= size) {
    if (faults.disk_space) *faults.disk_space -= size;
    return real_.write_file(file, data, size, written);
  }
  const auto fits = static_cast<std::uint32_t>(*faults.disk_space);
  faults.disk_space = 0;
  if (!real_.write_file(file, data, fits, written)) return false;
  if (faults.full_disk_writes_short) return true;
  set_last_error(kErrorDiskFull);
  return false;
}

bool FaultyFileApi::flush_file_buffers(FileHandle file) {
  calls_.push_back("flush");
  if (fail_now() || faults.fail_flush) {
    set_last_error(kErrorDiskFull);
    return false;
  }
  return real_.flush_file_buffers(file);
}

bool FaultyFileApi::close_handle(FileHandle file) {
  calls_.push_back("close");
  --open_handles_;
  const bool closed = real_.close_handle(file);
  if (fail_now() || faults.fail_close) {
    set_last_error(kErrorDiskFull);
    return false;
  }
  return closed;
}

bool FaultyFileApi::delete_file(const std::filesystem::path& path) {
  calls_.push_back("delete");
  if (faults.fail_delete) {
    set_last_error(kErrorAccessDenied);
    return false;
  }
  return real_.delete_file(path);
}

}  // namespace velmora::test
