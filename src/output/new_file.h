#pragma once
// The one place that writes output files. The rule: an existing file is never
// opened, overwritten or truncated, and a file that cannot be finished is
// removed, so every file on disk is complete.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "platform/file_api.h"

namespace velmora {

// A file created new and either committed complete or deleted again.
class NewFile {
 public:
  // Throws Failure("Could not create a new output file (or filename collision)")
  // when the name is taken (also by a file that appeared after the name was
  // chosen) or the file cannot be created.
  NewFile(FileApi& files, std::filesystem::path path);
  // Without commit(): closes and deletes the file.
  ~NewFile();
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  // Writes at the end in calls of at most 65536 bytes. After a failed or short
  // write nothing more is written and commit() fails.
  void write(std::span<const std::uint8_t> bytes);
  // Flushes and closes. If a write stopped early, or the flush or the close
  // failed, deletes the file and throws Failure("Could not finish writing output file").
  void commit();

 private:
  void close_and_delete() noexcept;

  FileApi& files_;
  std::filesystem::path path_;
  FileHandle handle_;
  bool complete_ = true;
  bool finished_ = false;
};

// A complete new file holding exactly these bytes; an empty span makes an empty file.
void write_new_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                    FileApi& files = system_file_api());
// The text's bytes unchanged: UTF-8, no byte-order mark, no line-end translation.
void write_new_text_file(const std::filesystem::path& path, std::string_view text, FileApi& files = system_file_api());

}  // namespace velmora
