#include "support/invariants.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "base/text.h"

namespace velmora::test {
namespace {

// Texts by the layer that produces them; a Win32 failure ends in " (Win32 error N)".
const std::vector<std::string> kLinkTexts = {
    "CreateFile (Win32 error ", "WinUsb_Initialize (Win32 error ", "WinUsb_GetDescriptor(device) (Win32 error ",
    "WinUsb_QueryInterfaceSettings (Win32 error ", "WinUsb_SetPipePolicy(PIPE_TRANSFER_TIMEOUT) (Win32 error ",
    "WinUsb_WritePipe (Win32 error ", "WinUsb_ReadPipe (Win32 error ",
    "USB device descriptor was shorter than expected",
    "Safety check failed: opened device is not a known MR97310 VID/PID",
    "Required MR97310 endpoint is missing or has unexpected type", "Short USB command write",
    "Short USB read (expected fixed response length)"};
const std::vector<std::string> kRefreshTexts = {
    "No WinUSB-bound MR97310 camera found. Check Device Manager and WinUsb Device binding.",
    "Active reads have only been verified for USB 093A:010E (not this variant)", "USB descriptor mismatch",
    "All five bounded camera directory reads failed. Reconnect the camera; do not reset/delete it."};
const std::vector<std::string> kFetchTexts = {
    "Camera remains jammed after the single documented photo-download clear attempt",
    "Camera did not acknowledge photo positioning within the 2000 ms paced deadline",
    "PAT reports a zero-byte photo", "PAT-derived transfer exceeds the 16 MiB safety cap",
    "Active photo download is intentionally limited to verified CIF PID 010e"};
const std::vector<std::string> kDecodeRenderTexts = {
    "Mars raw payload is shorter than its 12-byte header", "Raw photo is shorter than 12-byte header plus",
    "Non-compressed Mars payload length mismatch", "Compressed payload exceeds safety cap", "Image exceeds safety cap",
    "Incomplete compressed row seed", "Truncated Mars literal", "Truncated compressed Mars symbol",
    "Unsupported Mars dimensions", "Invalid Mars raw photo", "Mars decompressor produced wrong image size",
    "Invalid image dimensions", "Bayer dimensions mismatch", "Unknown Bayer pattern", "Invalid RGB image buffer",
    "Invalid RGB source for visual glitch effect", "Invalid baseline RGB image"};
const std::vector<std::string> kFileTexts = {"Could not create a new output file (or filename collision)",
                                             "Could not finish writing output file", "Too many filename collisions"};
const std::vector<std::string> kPreviewTexts = {"Preview item no longer in current list",
                                                "This entry is not a supported still photo"};
const std::vector<std::string> kDownloadTexts = {"Choose an output directory", "Could not choose date folder"};

bool starts_with_any(const std::string& text, const std::vector<std::vector<std::string>>& lists) {
  for (const auto& list : lists) {
    for (const auto& start : list) {
      if (text.rfind(start, 0) == 0) return true;
    }
  }
  return false;
}

std::size_t count_containing(const std::vector<std::string>& lines, const std::string& part) {
  return static_cast<std::size_t>(std::count_if(
      lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; }));
}

}  // namespace

std::string command_problem(const sim::SimulatedCamera& camera) {
  for (const auto& write : camera.host_writes()) {
    const bool allowed = (write.size() == 1 && (write[0] == 0x21 || write[0] == 0x19)) ||
                         (write.size() == 2 && write[0] == 0x19);
    if (!allowed) return "host sent " + hex_bytes(write);
  }
  if (!camera.violations().empty()) return "simulator saw: " + camera.violations().front();
  return {};
}

std::string camera_problem(const sim::SimulatedCamera& camera) {
  if (auto problem = command_problem(camera); !problem.empty()) return problem;
  if (camera.open_handles() != 0) return std::to_string(camera.open_handles()) + " device handle(s) left open";
  return {};
}

std::string failure_text_problem(Operation operation, const std::string& text) {
  bool known = false;
  switch (operation) {
    case Operation::Refresh: known = starts_with_any(text, {kLinkTexts, kRefreshTexts}); break;
    case Operation::Preview:
      known = starts_with_any(text, {kLinkTexts, kFetchTexts, kDecodeRenderTexts, kPreviewTexts});
      break;
    case Operation::Download: known = starts_with_any(text, {kLinkTexts, kFileTexts, kDownloadTexts}); break;
    case Operation::DownloadPhoto:
      known = starts_with_any(text, {kLinkTexts, kFetchTexts, kDecodeRenderTexts, kFileTexts});
      break;
  }
  return known ? std::string() : "not a failure text of the operation: \"" + text + "\"";
}

std::string download_problem(const DownloadResult& result, std::size_t requested,
                             const std::vector<std::string>& progress) {
  if (result.saved < 0 || result.failed < 0 ||
      static_cast<std::size_t>(result.saved) + static_cast<std::size_t>(result.failed) != requested) {
    return "saved " + std::to_string(result.saved) + " + failed " + std::to_string(result.failed) +
           " is not the " + std::to_string(requested) + " requested";
  }
  if (count_containing(progress, " archived and rendered.") != static_cast<std::size_t>(result.saved)) {
    return "progress and the saved count disagree";
  }
  const std::string errors = utf16_to_utf8(result.errors);
  std::size_t lines = 0;
  for (std::size_t at = 0; at < errors.size(); ++lines) {
    const std::size_t end = errors.find('\n', at);
    if (end == std::string::npos) return "report line without a line end";
    const std::string line = errors.substr(at, end - at);
    const std::size_t colon = line.find(": ");
    if (line.rfind("Photo ", 0) != 0 || colon == std::string::npos) return "report line \"" + line + "\"";
    if (auto problem = failure_text_problem(Operation::DownloadPhoto, line.substr(colon + 2)); !problem.empty()) {
      return problem;
    }
    at = end + 1;
  }
  if (lines != count_containing(progress, " failed safely.") || lines > static_cast<std::size_t>(result.failed)) {
    return "report lines and failed photos disagree";
  }
  return {};
}

FileHandle WatchedFiles::create_new_file(const std::filesystem::path& path) {
  const FileHandle file = next_.create_new_file(path);
  if (file != invalid_file_handle()) {
    open_[file] = Open{path};
    created_.insert(path);
  }
  return file;
}

bool WatchedFiles::write_file(FileHandle file, const std::uint8_t* data, std::uint32_t size, std::uint32_t* written) {
  const bool ok = next_.write_file(file, data, size, written);
  if (!ok || *written != size) open_[file].intact = false;
  return ok;
}

bool WatchedFiles::flush_file_buffers(FileHandle file) {
  const bool ok = next_.flush_file_buffers(file);
  if (!ok) open_[file].intact = false;
  return ok;
}

bool WatchedFiles::close_handle(FileHandle file) {
  const bool ok = next_.close_handle(file);
  const auto it = open_.find(file);
  if (it != open_.end()) {
    if (ok && it->second.intact) finished_.insert(it->second.path);
    open_.erase(it);
  }
  return ok;
}

bool WatchedFiles::delete_file(const std::filesystem::path& path) {
  const bool ok = next_.delete_file(path);
  if (ok) finished_.erase(path);
  return ok;
}

std::string WatchedFiles::problem() const {
  if (!open_.empty()) return std::to_string(open_.size()) + " file handle(s) left open";
  for (const auto& path : created_) {
    std::error_code error;
    if (std::filesystem::exists(path, error) && !finished_.count(path)) {
      return "unfinished file left: " + utf16_to_utf8(path.filename().u16string());
    }
  }
  return {};
}

FolderContents folder_contents(const std::filesystem::path& folder) {
  FolderContents contents;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    if (!it->is_regular_file()) continue;
    std::ifstream in(it->path(), std::ios::binary);
    contents[utf16_to_utf8(it->path().lexically_relative(folder).u16string())] =
        std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return contents;
}

std::string folder_problem(const FolderContents& before, const FolderContents& after,
                           const FolderContents* reference) {
  for (const auto& [name, bytes] : before) {
    const auto it = after.find(name);
    if (it == after.end()) return "file gone: " + name;
    if (it->second != bytes) return "file overwritten: " + name;
  }
  if (reference == nullptr) return {};
  for (const auto& [name, bytes] : after) {
    if (before.count(name)) continue;
    const auto it = reference->find(name);
    if (it == reference->end()) return "file not made without faults: " + name;
    if (it->second != bytes) return "file differs from the one made without faults: " + name;
  }
  return {};
}

}  // namespace velmora::test
