#include "output/naming.h"

#include <system_error>

#include "base/failure.h"

namespace velmora {
namespace {

constexpr int kMaxCounter = 9999;

// Narrow names become path text the way the path type converts narrow strings.
std::filesystem::path join(const std::filesystem::path& folder, const std::string& name) {
  return folder / std::filesystem::path(name);
}

// Looks at the entry itself, so a dangling link also counts as taken: a
// create-new under its name would fail.
bool name_is_free(const std::filesystem::path& candidate) {
  std::error_code error;
  const auto status = std::filesystem::symlink_status(candidate, error);
  if (status.type() == std::filesystem::file_type::not_found) return true;
  if (error) throw std::filesystem::filesystem_error("exists", candidate, error);
  return false;
}

}  // namespace

std::string collision_counter_text(int n) { return (n < 10 ? "_0" : "_") + std::to_string(n); }

std::filesystem::path unique_output_path(const std::filesystem::path& folder, std::string_view stem,
                                         std::string_view extension) {
  for (int n = 1; n <= kMaxCounter; ++n) {
    std::string name(stem);
    if (n >= 2) name += collision_counter_text(n);
    name += extension;
    auto candidate = join(folder, name);
    if (name_is_free(candidate)) return candidate;
  }
  throw Failure("Too many filename collisions");
}

std::filesystem::path create_dated_folder(const std::filesystem::path& base, std::string_view date) {
  for (int n = 1; n <= kMaxCounter; ++n) {
    auto candidate = join(base, std::string(date) + collision_counter_text(n));
    if (!name_is_free(candidate)) continue;
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) return candidate;
    if (error) throw std::filesystem::filesystem_error("create_directory", candidate, error);
    // Made by someone else since the check: it is not ours to reuse.
  }
  throw Failure("Could not choose date folder");
}

}  // namespace velmora
