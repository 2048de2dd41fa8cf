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
  return static_cast<std::size_t>(
      std::count_if(lines.begin(), lines.end(), [&](auto& l) { return l.find(part) != std::string::npos; }));
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
  for (const auto& write : camera.host_writes()) {
    const bool allowed = (write.size() == 1 && (write[0] == 0x21 || write[0] == 0x19)) ||
                         (write.size() == 2 && write[0] == 0x19);
    if (!allowed) return "host sent " + hex_bytes(write);
  }
  if (!camera.violations().empty()) return "simulator saw: " + camera.violations().front();
  return {};
}

std::string camera_problem(const sim::SimulatedCamera& camera, const sim::SimulatedDeviceTree* tree) {
  if (auto problem = command_problem(camera); !problem.empty()) return problem;
  if (camera.open_handles() != 0) return std::to_string(camera.open_handles()) + " device handle(s) left open";
  if (tree != nullptr && tree->open_sets() != 0) return "device information set left open";
  return {};
}

std::string failure_text_problem(Operation, const std::string& text) {
  // The system's own texts are one line beginning with a capital letter; the
  // standard library's ("vector::_M_range_check", "bad_alloc") are not.
  const bool own = !text.empty() && std::isupper(static_cast<unsigned char>(text[0])) &&
                   text.find('\n') == std::string::npos && text != "(no failure)";
  return own ? std::string() : "not a failure text of the operation: \"" + text + "\"";
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
  if (lines != count_containing(progress, " failed safely.") || lines > static_cast<std::size_t>(result.failed)) {
    return "report lines and failed photos disagree";
  }
  return {};
}

FaultyFileApi::FaultyFileApi(FileFaults faults_in, FileApi& real) : faults(std::move(faults_in)), real_(real) {}

FileHandle FaultyFileApi::create_new_file(const std::filesystem::path& path) {
  calls_.push_back("create");
  if (faults.before_create) faults.before_create(++creates_, path);
  const std::string name = utf16_to_utf8(path.filename().u16string());
  const auto& refused = faults.refuse_name_containing;
  if (fail_now() || faults.fail_create || (!refused.empty() && name.find(refused) != std::string::npos)) {
    set_last_error(kErrorAccessDenied);
    return invalid_file_handle();
  }
  const FileHandle file = real_.create_new_file(path);
  if (file != invalid_file_handle()) {
    open_[file] = Open{path};
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
  if (!ok || *written != size) open_[file].intact = false;
  return ok;
}

bool FaultyFileApi::flush_file_buffers(FileHandle file) {
  calls_.push_back("flush");
  const bool ok = fail_now() || faults.fail_flush ? fail_with(kErrorDiskFull) : real_.flush_file_buffers(file);
  if (!ok) open_[file].intact = false;
  return ok;
}

bool FaultyFileApi::close_handle(FileHandle file) {
  calls_.push_back("close");
  const bool closed = real_.close_handle(file);
  const bool ok = fail_now() || faults.fail_close ? fail_with(kErrorDiskFull) : closed;
  if (const auto it = open_.find(file); it != open_.end()) {
    if (ok && it->second.intact) finished_.insert(it->second.path);
    open_.erase(it);
  }
  return ok;
}

bool FaultyFileApi::delete_file(const std::filesystem::path& path) {
  calls_.push_back("delete");
  if (faults.fail_delete) return fail_with(kErrorAccessDenied);
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
