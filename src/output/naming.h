#pragma once
// Names for output files and folders that do not exist yet. The check and the
// later create-new are two steps; a name taken in between makes the create
// fail (output/new_file.h) rather than overwrite anything.

#include <filesystem>
#include <string>
#include <string_view>

namespace velmora {

// "_" + n, at least two digits: _02, _10, _100, _9999.
std::string collision_counter_text(int n);

// folder / (stem + extension) if free, else stem + "_02" + extension, and so on
// up to "_9999"; then throws Failure("Too many filename collisions"). Anything
// under a name (file, folder, link) takes it. A status query that fails for a
// reason other than absence throws std::filesystem::filesystem_error("exists").
std::filesystem::path unique_output_path(const std::filesystem::path& folder, std::string_view stem,
                                         std::string_view extension);

// Creates and returns base / (date + "_01"), or "_02" and so on when taken; an
// existing folder is never reused. Throws Failure("Could not choose date folder")
// after "_9999", std::filesystem::filesystem_error("create_directory") when the
// creation fails.
std::filesystem::path create_dated_folder(const std::filesystem::path& base, std::string_view date);

}  // namespace velmora
