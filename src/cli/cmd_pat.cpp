// velmora pat FILE...: each file is one directory buffer (one observation);
// prints the merged photo list in the listing format.

#include <iostream>

#include "base/read_file.h"
#include "cli/cli_common.h"
#include "protocol/pat.h"

namespace velmora::cli {
namespace {

int run_pat(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError{"no directory files given"};
  std::vector<std::vector<PhotoEntry>> observations;
  for (const std::string& arg : args) observations.push_back(parse_pat(read_whole_file(path_from_utf8(arg))));
  for (const PhotoEntry& entry : merge_observations(observations)) std::cout << photo_list_line(entry) << "\n";
  return 0;
}

const CommandRegistration registration("pat", "pat DIRECTORY_FILE...", run_pat);

}  // namespace
}  // namespace velmora::cli
