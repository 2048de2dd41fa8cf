// velmora download (--all | --items N,N,...) --to DIR [render and file options]
//   [--simulated-camera[=FOLDER|SCENARIO]]
// A refresh, then the download job on the chosen photos; N is the item
// number of the download's file names (list position + 1). The command
// refuses what the application's download command refuses, with its texts.

#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/failure.h"
#include "base/text.h"
#include "cli/camera_source.h"
#include "cli/cli_common.h"
#include "ops/download.h"
#include "ops/refresh.h"
#include "render/demosaic.h"

namespace velmora::cli {
namespace {

std::vector<std::string> split_list(const std::string& text, const std::string& option) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    items.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (items.back().empty()) throw UsageError{"bad " + option + ": " + text};
    if (comma == std::string::npos) return items;
    start = comma + 1;
  }
}

using OptionFlags = std::map<std::string, bool DownloadOptions::*>;

// Sets the flag of each name in the option's comma-separated list.
void apply_names(const std::string& list, const std::string& option, const char* kind, const OptionFlags& flags,
                 DownloadOptions& o) {
  for (const auto& name : split_list(list, option)) {
    const auto it = flags.find(name);
    if (it == flags.end()) throw UsageError{std::string("unknown ") + kind + ": " + name};
    o.*(it->second) = true;
  }
}

void apply_styles(const std::string& list, DownloadOptions& o) {
  o.restrained = o.balanced = o.expressive = false;
  if (list == "none") return;
  static const OptionFlags styles = {
      {"restrained", &DownloadOptions::restrained},
      {"balanced", &DownloadOptions::balanced},
      {"expressive", &DownloadOptions::expressive},
  };
  apply_names(list, "--styles", "style", styles, o);
}

void apply_sets(const std::string& list, DownloadOptions& o) {
  static const OptionFlags sets = {
      {"brighter", &DownloadOptions::brighter},
      {"more-color", &DownloadOptions::more_color},
      {"lower-contrast", &DownloadOptions::lower_contrast},
      {"stronger-destripe", &DownloadOptions::stronger_destriping},
  };
  apply_names(list, "--sets", "set", sets, o);
}

const OptionFlags& switches() {
  static const OptionFlags table = {
      {"--legacy-proc", &DownloadOptions::legacy_proc},
      {"--baseline", &DownloadOptions::baseline_render},
      {"--historical-mars", &DownloadOptions::historical_mars},
      {"--all-bayer-patterns", &DownloadOptions::all_bayer_patterns},
      {"--extreme-glitch", &DownloadOptions::extreme_glitch},
      {"--experimental", &DownloadOptions::experimental},
      {"--save-transfer", &DownloadOptions::save_usb_transfer},
      {"--save-bayer", &DownloadOptions::save_bayer_plane},
      {"--save-usb-log", &DownloadOptions::save_usb_log},
      {"--save-metadata", &DownloadOptions::save_metadata},
      {"--dated-folder", &DownloadOptions::dated_folder},
  };
  return table;
}

struct DownloadArgs {
  DownloadOptions options;
  bool all = false;
  std::optional<std::vector<std::uint64_t>> items;  // list positions, from 0
  std::optional<std::string> simulated;
};

void take_download_arg(ArgReader& reader, DownloadArgs& parsed) {
  const std::string& arg = reader.peek();
  const std::string option = reader.option();
  if (take_simulated_camera_option(arg, parsed.simulated)) {
    reader.next();
  } else if (arg == "--all") {
    parsed.all = true;
    reader.next();
  } else if (option == "--items") {
    parsed.items.emplace();
    for (const auto& n : split_list(reader.value_of(option), "--items")) {
      parsed.items->push_back(static_cast<std::uint64_t>(parse_int_arg(n, 1, 999999999, "item number")) - 1);
    }
  } else if (option == "--to") {
    parsed.options.destination = utf8_to_utf16(reader.value_of(option));
  } else if (option == "--styles") {
    apply_styles(reader.value_of(option), parsed.options);
  } else if (option == "--sets") {
    apply_sets(reader.value_of(option), parsed.options);
  } else if (option == "--pattern") {
    parsed.options.bayer_pattern = number_named(reader.value_of(option), bayer_pattern_name, 0, 3, option);
  } else if (switches().count(arg) != 0) {
    parsed.options.*(switches().at(arg)) = true;
    reader.next();
  } else {
    throw unrecognised_argument(arg);
  }
}

DownloadArgs parse_download_args(const std::vector<std::string>& args) {
  DownloadArgs parsed;
  bool destination_given = false;
  ArgReader reader(args);
  while (!reader.done()) {
    destination_given = destination_given || reader.option() == "--to";
    take_download_arg(reader, parsed);
  }
  if (parsed.all == parsed.items.has_value()) throw UsageError{"give either --all or --items"};
  if (!destination_given) throw UsageError{"--to is required"};
  return parsed;
}

int run_download_command(const std::vector<std::string>& args) {
  const DownloadArgs parsed = parse_download_args(args);
  auto source = make_camera_source(parsed.simulated);
  const ProgressFn progress = stderr_progress();
  const ScanData scan = scan_camera(source->env(), progress);

  const DownloadRequest request{parsed.all ? collect_download_indices(true, scan.entries.size(), {}) : *parsed.items,
                                parsed.options};
  if (const auto refusal = prepare_download(request)) throw Failure(utf16_to_utf8(refusal->text));
  progress(download_started_line(request.indices.size()));

  const DownloadResult result = run_download(source->env(), scan, request.indices, parsed.options, progress);
  if (result.failed != 0) std::cerr << "Completed with errors:\n" << utf16_to_utf8(result.errors);
  std::cout << utf16_to_utf8(download_finished_line(result)) << "\n";
  return result.failed == 0 ? 0 : 1;
}

const CommandRegistration registration{
    "download",
    "download (--all | --items N,N,...) --to DIR [--styles LIST] [--sets LIST] [--legacy-proc] [--baseline]"
    " [--historical-mars] [--all-bayer-patterns] [--extreme-glitch] [--experimental] [--save-transfer]"
    " [--save-bayer] [--save-usb-log] [--save-metadata] [--dated-folder] [--pattern bggr|rggb|grbg|gbrg]"
    " [--simulated-camera[=FOLDER|SCENARIO]]",
    run_download_command};

}  // namespace
}  // namespace velmora::cli
