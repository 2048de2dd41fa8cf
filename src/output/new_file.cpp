#include "output/new_file.h"

#include <algorithm>
#include <utility>

#include "base/failure.h"

namespace velmora {
namespace {
constexpr std::size_t kMaxWriteCall = 65536;
}

NewFile::NewFile(FileApi& files, std::filesystem::path path)
    : files_(files), path_(std::move(path)), handle_(files_.create_new_file(path_)) {
  if (handle_ == invalid_file_handle()) throw Failure("Could not create a new output file (or filename collision)");
}

NewFile::~NewFile() {
  if (!finished_) close_and_delete();
}

void NewFile::write(std::span<const std::uint8_t> bytes) {
  while (complete_ && !bytes.empty()) {
    const auto size = static_cast<std::uint32_t>(std::min(bytes.size(), kMaxWriteCall));
    std::uint32_t written = 0;
    complete_ = files_.write_file(handle_, bytes.data(), size, &written) && written == size;
    bytes = bytes.subspan(size);
  }
}

void NewFile::commit() {
  // A file that will be deleted needs no flush.
  if (complete_ && files_.flush_file_buffers(handle_)) {
    const FileHandle handle = std::exchange(handle_, invalid_file_handle());
    // A failed close can mean data that never reached the disk.
    if (files_.close_handle(handle)) {
      finished_ = true;
      return;
    }
  }
  close_and_delete();
  finished_ = true;
  throw Failure("Could not finish writing output file");
}

void NewFile::close_and_delete() noexcept {
  if (handle_ != invalid_file_handle()) files_.close_handle(std::exchange(handle_, invalid_file_handle()));
  files_.delete_file(path_);
}

void write_new_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes, FileApi& files) {
  NewFile file(files, path);
  file.write(bytes);
  file.commit();
}

void write_new_text_file(const std::filesystem::path& path, std::string_view text, FileApi& files) {
  write_new_file(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), files);
}

}  // namespace velmora
