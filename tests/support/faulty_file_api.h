#pragma once
// File calls that pass to the real ones but can be made to fail like a full disk or a broken device; they
// record every call and which files were finished (every byte written, flushed and closed without an error).

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_api.h"

namespace velmora::test {

struct FileFaults {
  bool fail_create = false;  // ERROR_ACCESS_DENIED, also for names containing:
  std::string refuse_name_containing = {};
  // Bytes left on the disk: a write that does not fit stores what fits and
  // fails with ERROR_DISK_FULL, or with this set reports the shorter count.
  std::optional<std::uint64_t> disk_space = std::nullopt;
  bool full_disk_writes_short = false;
  bool fail_flush = false, fail_close = false;  // the handle is closed all the same
  std::size_t fail_call = 0;                    // the n-th create, write (half stored), flush or close fails (0: none)
};

class FaultyFileApi final : public FileApi {
 public:
  explicit FaultyFileApi(FileFaults faults = {}, FileApi& real = system_file_api())
      : faults(std::move(faults)), real_(real) {}
  FileHandle create_new_file(const std::filesystem::path& path) override;
  bool write_file(FileHandle file, const std::uint8_t* data, std::uint32_t size, std::uint32_t* written) override;
  bool flush_file_buffers(FileHandle file) override;
  bool close_handle(FileHandle file) override;
  bool delete_file(const std::filesystem::path& path) override {
    return calls_.push_back("delete"), real_.delete_file(path);
  }

  const std::vector<std::string>& calls() const { return calls_; }  // "create", "write 65536", "flush", ...
  std::size_t countable_calls() const { return countable_; }
  int open_handles() const { return static_cast<int>(open_.size()); }
  const std::vector<std::string>& created() const { return created_; }  // names, in order
  std::string problem() const;  // unfinished files left on disk, handles left open

  FileFaults faults;

 private:
  bool fail_now() { return ++countable_ == faults.fail_call; }
  bool spoil(FileHandle file) { return intact_[open_[file]] = false; }
  FileApi& real_;
  std::size_t countable_ = 0;
  std::vector<std::string> calls_, created_;
  std::map<FileHandle, std::filesystem::path> open_;
  std::map<std::filesystem::path, bool> intact_;  // every create, write, flush and close succeeded
};

}  // namespace velmora::test
