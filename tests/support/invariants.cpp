#include "support/invariants.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>

#include "base/text.h"
#include "platform/last_error.h"

namespace velmora::test {
namespace {

std::size_t count_containing(const std::vector<std::string>& lines, const std::string& part) {
  return std::count_if(lines.begin(), lines.end(), [&](auto& l) { return l.find(part) != std::string::npos; });
}

bool fail_with(std::uint32_t code) {
  set_last_error(code);
  return false;
}

}  // namespace

std::string first_problem(std::initializer_list<std::string> problems) {
  for (const auto& problem : problems) {
    if (!problem.empty()) return problem;
  }
  return {};
}

std::string command_problem(const sim::SimulatedCamera& camera) {
  for (const auto& w : camera.host_writes()) {
    if (w.empty() || w.size() > 2 || (w[0] != 0x19 && (w[0] != 0x21 || w.size() != 1))) return "host sent " + hex_bytes(w);
  }
  return camera.violations().empty() ? "" : "simulator saw: " + camera.violations().front();
}

std::string camera_problem(const sim::SimulatedCamera& camera, const sim::SimulatedDeviceTree* tree) {
  return first_problem({command_problem(camera), camera.open_handles() != 0 ? "device handle left open" : "",
                        tree && tree->open_sets() != 0 ? "device information set left open" : ""});
}

std::string failure_text_problem(Operation, const std::string& text) {
  // The system's texts are one line beginning with a capital letter; the
  // standard library's ("vector::_M_range_check", "bad_alloc") are not.
  const bool own = !text.empty() && std::isupper(static_cast<unsigned char>(text[0])) &&
                   text.find('\n') == std::string::npos && text != "(no failure)";
  return own ? "" : "not a failure text of the operation: \"" + text + "\"";
}

std::string download_problem(const DownloadResult& result, std::size_t requested,
                             const std::vector<std::string>& progress) {
  if (result.saved < 0 || result.failed < 0 || std::size_t(result.saved + result.failed) != requested) {
    return "saved " + std::to_string(result.saved) + " + failed " + std::to_string(result.failed) + " is not " +
           std::to_string(requested);
  }
  if (count_containing(progress, " archived and rendered.") != std::size_t(result.saved)) {
    return "progress and the saved count disagree";
  }
  const std::string errors = utf16_to_utf8(result.errors);
  if (!errors.empty() && errors.back() != '\n') return "report line without a line end";
  std::istringstream report(errors);
  std::size_t lines = 0;
  for (std::string line; std::getline(report, line); ++lines) {
    const std::size_t colon = line.find(": ");
    if (line.rfind("Photo ", 0) != 0 || colon == std::string::npos) return "report line \"" + line + "\"";
    if (auto problem = failure_text_problem(Operation::DownloadPhoto, line.substr(colon + 2)); !problem.empty()) {
      return problem;
    }
  }
  if (lines != count_containing(progress, " failed safely.") || lines > std::size_t(result.failed)) {
    return "report lines and failed photos disagree";
  }
  return {};
}

FileHandle FaultyFileApi::create_new_file(const std::filesystem::path& path) {
  calls_.push_back("create");
  const std::string name = utf16_to_utf8(path.filename().u16string());
  const auto& refused = faults.refuse_name_containing;
  if (fail_now() || faults.fail_create || (!refused.empty() && name.find(refused) != std::string::npos)) {
    set_last_error(kErrorAccessDenied);
    return invalid_file_handle();
  }
  const FileHandle file = real_.create_new_file(path);
  if (file != invalid_file_handle()) {
    open_[file] = {path, true};
    created_paths_.insert(path);
    created_.push_back(name);
  }
  return file;
}

bool FaultyFileApi::write_file(FileHandle file, const std::uint8_t* data, std::uint32_t size, std::uint32_t* written) {
  calls_.push_back("write " + std::to_string(size));
  bool ok = false;
  if (fail_now()) {
    real_.write_file(file, data, size / 2, written);
    fail_with(kErrorDiskFull);
  } else if (!faults.disk_space || *faults.disk_space >= size) {
    if (faults.disk_space) *faults.disk_space -= size;
    ok = real_.write_file(file, data, size, written);
  } else {
    const auto fits = static_cast<std::uint32_t>(*faults.disk_space);
    faults.disk_space = 0;
    ok = real_.write_file(file, data, fits, written) && (faults.full_disk_writes_short || fail_with(kErrorDiskFull));
  }
  if (!ok || *written != size) open_[file].second = false;
  return ok;
}

bool FaultyFileApi::flush_file_buffers(FileHandle file) {
  calls_.push_back("flush");
  const bool ok = fail_now() || faults.fail_flush ? fail_with(kErrorDiskFull) : real_.flush_file_buffers(file);
  if (!ok) open_[file].second = false;
  return ok;
}

bool FaultyFileApi::close_handle(FileHandle file) {
  calls_.push_back("close");
  const bool closed = real_.close_handle(file);
  const bool ok = fail_now() || faults.fail_close ? fail_with(kErrorDiskFull) : closed;
  if (const auto it = open_.find(file); it != open_.end()) {
    if (ok && it->second.second) finished_.insert(it->second.first);
    open_.erase(it);
  }
  return ok;
}

bool FaultyFileApi::delete_file(const std::filesystem::path& path) {
  calls_.push_back("delete");
  const bool ok = real_.delete_file(path);
  if (ok) finished_.erase(path);
  return ok;
}

std::string FaultyFileApi::problem() const {
  if (!open_.empty()) return std::to_string(open_.size()) + " file handle(s) left open";
  for (const auto& path : created_paths_) {
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
    std::ifstream in(it->path(), std::ios::binary);
    if (it->is_regular_file()) {
      contents[utf16_to_utf8(it->path().lexically_relative(folder).u16string())].assign(
          std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  return contents;
}

std::string folder_problem(const FolderContents& before, const FolderContents& after,
                           const FolderContents* reference) {
  for (const auto& [name, bytes] : before) {
    if (!after.count(name) || after.at(name) != bytes) return "file gone or overwritten: " + name;
  }
  for (const auto& [name, bytes] : after) {
    if (reference && !before.count(name) && (!reference->count(name) || reference->at(name) != bytes)) {
      return "file unlike the one made without faults: " + name;
    }
  }
  return {};
}

}  // namespace velmora::test
