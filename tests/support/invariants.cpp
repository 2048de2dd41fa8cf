#include "support/invariants.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "base/read_file.h"
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
  const auto it = std::find_if(problems.begin(), problems.end(), [](auto& p) { return !p.empty(); });
  return it == problems.end() ? "" : *it;
}

std::string command_problem(const sim::SimulatedCamera& camera) {
  for (const auto& w : camera.host_writes()) {
    if (w.empty() || w.size() > 2 || (w[0] != 0x19 && (w[0] != 0x21 || w.size() != 1)))
      return "host sent " + hex_bytes(w);
  }
  return camera.violations().empty() ? "" : "simulator saw: " + camera.violations().front();
}

std::string camera_problem(const sim::SimulatedCamera& camera, const sim::SimulatedDeviceTree* tree) {
  return first_problem({command_problem(camera), camera.open_handles() != 0 ? "device handle left open" : "",
                        tree && tree->open_sets() != 0 ? "device information set left open" : ""});
}

std::string failure_text_problem(const std::string& text) {
  // The system's texts are one line beginning with a capital letter; the
  // standard library's ("vector::_M_range_check", "bad_alloc") are not.
  const bool own = !text.empty() && std::isupper(static_cast<unsigned char>(text[0])) &&
                   text.find('\n') == std::string::npos && text != "(no failure)";
  return own ? "" : "not a failure text of the operation: \"" + text + "\"";
}

std::string download_problem(const DownloadResult& result, std::size_t requested,
                             const std::vector<std::string>& progress) {
  const std::string errors = utf16_to_utf8(result.errors);
  std::istringstream report(errors);
  std::size_t lines = 0;
  for (std::string line; std::getline(report, line); ++lines) {
    const std::size_t colon = line.find(": ");
    const std::string text = colon == std::string::npos ? "" : line.substr(colon + 2);
    if (!line.starts_with("Photo ") || !failure_text_problem(text).empty()) {
      return "report line " + line;
    }
  }
  const bool counts = result.saved >= 0 && result.failed >= 0 && std::size_t(result.saved + result.failed) == requested;
  return first_problem(
      {counts ? "" : "saved " + std::to_string(result.saved) + " + failed " + std::to_string(result.failed),
       count_containing(progress, " archived and rendered.") == std::size_t(result.saved)
           ? ""
           : "progress and saved disagree",
       errors.empty() || errors.back() == '\n' ? "" : "report line without a line end",
       lines == count_containing(progress, " failed safely.") && lines <= std::size_t(result.failed)
           ? ""
           : "report lines and failed photos disagree"});
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
    intact_[open_[file] = path] = true;
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
  if (!ok || *written != size) spoil(file);
  return ok;
}

bool FaultyFileApi::flush_file_buffers(FileHandle file) {
  calls_.push_back("flush");
  return (fail_now() || faults.fail_flush ? fail_with(kErrorDiskFull) : real_.flush_file_buffers(file)) || spoil(file);
}

bool FaultyFileApi::close_handle(FileHandle file) {
  calls_.push_back("close");
  const bool closed = real_.close_handle(file);
  const bool ok = (fail_now() || faults.fail_close ? fail_with(kErrorDiskFull) : closed) || spoil(file);
  open_.erase(file);
  return ok;
}

std::string FaultyFileApi::problem() const {
  if (!open_.empty()) return std::to_string(open_.size()) + " file handle(s) left open";
  for (const auto& [path, intact] : intact_) {
    std::error_code error;
    if (!intact && std::filesystem::exists(path, error)) return "unfinished file left: " + path.filename().string();
  }
  return {};
}

FolderContents folder_contents(const std::filesystem::path& folder) {
  FolderContents contents;
  std::error_code error;  // no folder: no files
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
    if (entry.is_regular_file()) {
      contents[utf16_to_utf8(entry.path().lexically_relative(folder).u16string())] = read_whole_file(entry.path());
    }
  }
  return contents;
}

std::string folder_problem(const FolderContents& before, const FolderContents& after, const FolderContents* reference) {
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
