#pragma once
// File calls that pass to the real ones (so files really appear and vanish)
// but can be made to fail like a full disk or a broken device, record every
// call, and remember which files were finished: created, every byte
// written, flushed and closed without an error. Defined with the invariants,
// which the fuzzers link on their own.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/file_api.h"

namespace velmora::test {

struct FileFaults {
  bool fail_create = false;                 // ERROR_ACCESS_DENIED
  std::string refuse_name_containing = {};  // creates of such names fail likewise
  // Bytes that still fit on the disk, over all writes. A write that does not
  // fit stores what fits and fails with ERROR_DISK_FULL ...
  std::optional<std::uint64_t> disk_space = std::nullopt;
  // ... or, with this set, reports success with the shorter count.
  bool full_disk_writes_short = false;
  bool fail_flush = false;
  bool fail_close = false;   // the handle is closed all the same
  bool fail_delete = false;  // the file stays
  // The n-th create, write, flush or close (1-based; 0: none) fails as above:
  // a write stores half its bytes first.
  std::size_t fail_call = 0;
  // Runs before each create with its 1-based number, to change the disk.
  std::function<void(std::size_t create, const std::filesystem::path& path)> before_create = nullptr;
};

class FaultyFileApi final : public FileApi {
 public:
  explicit FaultyFileApi(FileFaults faults = {}, FileApi& real = system_file_api());

  FileHandle create_new_file(const std::filesystem::path& path) override;
  bool write_file(FileHandle file, const std::uint8_t* data, std::uint32_t size, std::uint32_t* written) override;
  bool flush_file_buffers(FileHandle file) override;
  bool close_handle(FileHandle file) override;
  bool delete_file(const std::filesystem::path& path) override;

  // One line per call: "create", "write 65536", "flush", "close", "delete".
  const std::vector<std::string>& calls() const { return calls_; }
  std::size_t countable_calls() const { return countable_; }  // creates, writes, flushes and closes
  int open_handles() const { return static_cast<int>(open_.size()); }
  const std::vector<std::string>& created() const { return created_; }  // names, in order
  std::string problem() const;  // unfinished files left on disk, handles left open

  FileFaults faults;

 private:
  bool fail_now() { return ++countable_ == faults.fail_call; }

  FileApi& real_;
  std::size_t countable_ = 0, creates_ = 0;
  std::vector<std::string> calls_, created_;
  struct Open {
    std::filesystem::path path;
    bool intact = true;
  };
  std::map<FileHandle, Open> open_;
  std::set<std::filesystem::path> created_paths_, finished_;
};

}  // namespace velmora::test
