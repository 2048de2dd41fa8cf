#pragma once
// The download job: the command's checks and options snapshot on the user
// interface side, and the worker that fetches, archives and renders the
// chosen photos over one open camera.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ops/operation_env.h"
#include "ops/scan_data.h"
#include "platform/file_api.h"
#include "platform/local_time.h"

namespace velmora {

// The job's own copy of the window's options; the job never reads controls.
struct DownloadOptions {
  bool restrained = true;
  bool balanced = true;
  bool expressive = true;
  bool brighter = false;
  bool more_color = false;
  bool lower_contrast = false;
  bool stronger_destriping = false;
  bool save_usb_transfer = false;
  bool save_bayer_plane = false;
  bool save_usb_log = false;
  bool save_metadata = false;
  bool dated_folder = false;
  bool experimental = false;
  bool all_bayer_patterns = false;
  bool baseline_render = false;
  bool historical_mars = false;
  bool legacy_proc = false;
  bool extreme_glitch = false;
  std::int32_t bayer_pattern = 1;  // BGGR
  std::u16string destination;      // as typed, not trimmed
};

// The options' flags in a fixed order; the window's option boxes follow it.
inline constexpr std::array<bool DownloadOptions::*, 18> kDownloadFlags{
    &DownloadOptions::restrained,          &DownloadOptions::balanced,
    &DownloadOptions::expressive,          &DownloadOptions::brighter,
    &DownloadOptions::more_color,          &DownloadOptions::lower_contrast,
    &DownloadOptions::stronger_destriping, &DownloadOptions::save_usb_transfer,
    &DownloadOptions::save_bayer_plane,    &DownloadOptions::save_usb_log,
    &DownloadOptions::save_metadata,       &DownloadOptions::dated_folder,
    &DownloadOptions::experimental,        &DownloadOptions::all_bayer_patterns,
    &DownloadOptions::baseline_render,     &DownloadOptions::historical_mars,
    &DownloadOptions::legacy_proc,         &DownloadOptions::extreme_glitch,
};

// One helper per processor beside the thread that writes a download's files.
unsigned default_render_helpers();

struct DownloadResult {
  std::int32_t saved = 0;   // archived and fully rendered
  std::int32_t failed = 0;  // not completed, skipped entries included
  std::u16string folder;    // where the job wrote
  std::u16string errors;    // "Photo N: text\n" per photo that failed with an error
};

// The "Bayer override:" combo box: item 0 "BGGR (Auto)" and no selection (-1)
// give BGGR; items 1, 2, 3 give RGGB, GRBG, GBRG.
std::int32_t bayer_pattern_from_selection(int item);

// The list indices a download command takes: every entry for "Download All",
// otherwise the rows whose check box is checked, in row order.
std::vector<std::uint64_t> collect_download_indices(bool all, std::size_t entry_count,
                                                    const std::vector<bool>& row_checked);

// What the download command has read from the window before it starts.
struct DownloadRequest {
  std::vector<std::uint64_t> indices;
  DownloadOptions options;
};

enum class RefusalIcon { Information, Warning, Error };

// A message box instead of a download.
struct DownloadRefusal {
  std::u16string text;
  std::u16string caption;
  RefusalIcon icon;
  friend bool operator==(const DownloadRefusal&, const DownloadRefusal&) = default;
};

// The options snapshot: the option boxes in kDownloadFlags order, the
// "Bayer override:" selection and the destination as typed.
DownloadOptions read_download_options(const std::array<bool, 18>& checked, int bayer_item, std::u16string destination);

// True when some rendering is asked for; sets and diagnostic files alone are not.
bool has_something_to_render(const DownloadOptions& options);

// The command's checks that need no file system: selection, destination,
// something to render, in that order.
std::optional<DownloadRefusal> check_download_request(const DownloadRequest& request);

// Makes sure the destination exists, creating missing parents; refuses when
// its state cannot be read or it cannot be created.
std::optional<DownloadRefusal> ensure_download_destination(const std::u16string& destination);

// Every check of the download command; nothing refused means the job may start.
std::optional<DownloadRefusal> prepare_download(const DownloadRequest& request);

// "Downloading N photograph(s) into the selected folder..."
std::u16string download_started_line(std::size_t count);
// "Finished: S saved, F failed."
std::u16string download_finished_line(const DownloadResult& result);

// "Velmora_007_HR-CP": list index + 1 with at least three digits, and the short code.
std::string download_stem(std::uint64_t index, const PhotoEntry& entry);

// How much of a download runs at once.
struct DownloadConcurrency {
  // Photos whose bytes are held at any moment, the one being fetched
  // included: with 2, the next photo is fetched while the last one is written.
  std::size_t photos_in_flight = 2;
  // Threads beside the writing one that render a photo's files.
  unsigned render_helpers = default_render_helpers();
};

// Fetches, archives and renders the entries at `indices`, in order, over one
// opening of the snapshot's camera. A photo that fails is counted and the job
// goes on; throws only for failures before the first photo (no destination,
// folder not creatable, camera not opened) and for a session log that cannot
// be written at the end.
DownloadResult run_download(const CameraEnvironment& env, const ScanData& snapshot,
                            const std::vector<std::uint64_t>& indices, const DownloadOptions& options,
                            const ProgressFn& progress, FileApi& files = system_file_api(),
                            LocalTime& time = system_local_time(), const DownloadConcurrency& concurrency = {});

}  // namespace velmora
