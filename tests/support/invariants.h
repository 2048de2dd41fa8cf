#pragma once
// What must hold at the end of every camera operation however the camera or
// the disk failed; shared by the fault sweeps, the soak and the fuzzers.
// Each check returns an empty string when it holds, otherwise what broke.
// Needs no test framework, so the fuzzers link it as it is.

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ops/download.h"
#include "platform/file_api.h"
#include "sim/simulated_camera.h"

namespace velmora::test {

// The host wrote only 0x21, 0x19 or 0x19 plus one byte, read at most 8192
// bytes at a time and kept to the command sequence ...
std::string command_problem(const sim::SimulatedCamera& camera);
// ... and closed the device.
std::string camera_problem(const sim::SimulatedCamera& camera);

enum class Operation { Refresh, Preview, Download, DownloadPhoto };

// Empty when text is a failure text of the operation (DownloadPhoto: the text
// after "Photo N: " in a download's report).
std::string failure_text_problem(Operation operation, const std::string& text);

// Saved and failed add up to the request, the report has one line per
// "failed safely" progress line, each with a photo failure text, and every
// saved photo has its "archived and rendered." line.
std::string download_problem(const DownloadResult& result, std::size_t requested,
                             const std::vector<std::string>& progress);

// Passes every call on and remembers which files were finished: created,
// every byte written, flushed and closed without an error.
class WatchedFiles final : public FileApi {
 public:
  explicit WatchedFiles(FileApi& next = system_file_api()) : next_(next) {}

  FileHandle create_new_file(const std::filesystem::path& path) override;
  bool write_file(FileHandle file, const std::uint8_t* data, std::uint32_t size, std::uint32_t* written) override;
  bool flush_file_buffers(FileHandle file) override;
  bool close_handle(FileHandle file) override;
  bool delete_file(const std::filesystem::path& path) override;

  // Files left on disk that were not finished, and handles left open.
  std::string problem() const;
  std::size_t finished_count() const { return finished_.size(); }

 private:
  struct Open {
    std::filesystem::path path;
    bool intact = true;
  };
  FileApi& next_;
  std::map<FileHandle, Open> open_;
  std::set<std::filesystem::path> created_;
  std::set<std::filesystem::path> finished_;
};

// Every regular file under a folder, by path relative to it, with its bytes.
using FolderContents = std::map<std::string, std::vector<std::uint8_t>>;
FolderContents folder_contents(const std::filesystem::path& folder);

// Every file of before is still in after with the same bytes; with a
// reference (the same run without faults), every new file of after is in it
// with the same bytes.
std::string folder_problem(const FolderContents& before, const FolderContents& after,
                           const FolderContents* reference = nullptr);

}  // namespace velmora::test
