#pragma once
// What must hold at the end of every camera operation however the camera or
// the disk failed; shared by the fault sweeps, the soak and the fuzzers.
// Each check returns an empty string when it holds, otherwise what broke.
// Needs no test framework, so the fuzzers link it as it is.

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "ops/download.h"
#include "support/faulty_file_api.h"
#include "sim/simulated_camera.h"
#include "sim/simulated_device_tree.h"

namespace velmora::test {

// The host wrote only 0x21, 0x19 or 0x19 plus one byte, read at most 8192
// bytes at a time and kept to the command sequence ...
std::string command_problem(const sim::SimulatedCamera& camera);
// ... and closed the device (and the device tree's information sets).
std::string camera_problem(const sim::SimulatedCamera& camera, const sim::SimulatedDeviceTree* tree = nullptr);

// The first of the problems that is not empty, or an empty string.
std::string first_problem(std::initializer_list<std::string> problems);

enum class Operation { Refresh, Preview, Download, DownloadPhoto };

// Empty when text is one of the system's failure texts, not a library's
// (DownloadPhoto: the text after "Photo N: " in a download's report).
std::string failure_text_problem(Operation operation, const std::string& text);

// Saved and failed add up to the request, the report has one line per
// "failed safely" progress line, each with a photo failure text, and every
// saved photo has its "archived and rendered." line.
std::string download_problem(const DownloadResult& result, std::size_t requested,
                             const std::vector<std::string>& progress);

// The file calls of the fuzzers and the soak: no faults, every call watched.
using WatchedFiles = FaultyFileApi;

// Every regular file under a folder, by path relative to it, with its bytes.
using FolderContents = std::map<std::string, std::vector<std::uint8_t>>;
FolderContents folder_contents(const std::filesystem::path& folder);

// Every file of before is still in after with the same bytes; with a
// reference (the same run without faults), every new file of after is in it
// with the same bytes.
std::string folder_problem(const FolderContents& before, const FolderContents& after,
                           const FolderContents* reference = nullptr);

}  // namespace velmora::test
