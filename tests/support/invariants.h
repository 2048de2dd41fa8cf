#pragma once
// What must hold after every camera operation however the camera or the disk failed, for the fault
// sweeps, the soak and the fuzzers (so no test framework here): what broke, or an empty string.

#include <initializer_list>

#include "ops/download.h"
#include "sim/simulated_camera.h"
#include "sim/simulated_device_tree.h"
#include "support/faulty_file_api.h"

namespace velmora::test {

// The host wrote only 0x21, 0x19 or 0x19 plus one byte, in sequence ...
std::string command_problem(const sim::SimulatedCamera& camera);
// ... and closed the device and the device tree's information sets.
std::string camera_problem(const sim::SimulatedCamera& camera, const sim::SimulatedDeviceTree* tree = nullptr);
std::string first_problem(std::initializer_list<std::string> problems);

enum class Operation { Refresh, Preview, Download };
// The text is one of the system's own failure texts, not a library's.
std::string failure_text_problem(const std::string& text);
// Saved + failed = requested; an "archived and rendered." line per saved photo, a report line per "failed safely".
std::string download_problem(const DownloadResult& result, std::size_t requested,
                             const std::vector<std::string>& progress);

using FolderContents = std::map<std::string, std::vector<std::uint8_t>>;  // relative path: bytes
FolderContents folder_contents(const std::filesystem::path& folder);
// Every file of before is in after unchanged; every new file of after is in
// the reference (the same run without faults), if given, with the same bytes.
std::string folder_problem(const FolderContents& before, const FolderContents& after,
                           const FolderContents* reference = nullptr);

}  // namespace velmora::test
