#include "ops/download.h"

#include <filesystem>
#include <span>
#include <system_error>

#include "base/failure.h"
#include "base/text.h"
#include "decode/mars_decoder.h"
#include "link/transport.h"
#include "ops/session_log.h"
#include "output/naming.h"
#include "output/new_file.h"
#include "output/report_text.h"
#include "output/save_png.h"
#include "protocol/photo_fetch.h"
#include "render/demosaic.h"
#include "render/experimental.h"
#include "render/glitch.h"
#include "render/render_photo.h"
#include "render/style_params.h"

namespace velmora {
namespace {

std::u16string decimal16(std::uint64_t value) { return utf8_to_utf16(std::to_string(value)); }

std::filesystem::path path_of(const std::u16string& text) { return std::filesystem::path(text); }

// Everything one photo's files share.
struct PhotoWork {
  const PhotoEntry& entry;
  const DownloadOptions& options;
  const std::vector<std::uint8_t>& stored;  // the fetched payload
  BayerPlane plane;
  OutputContext names;
  FileApi& files;
  SessionLog& log;

  std::int32_t width() const { return static_cast<std::int32_t>(entry.width); }
  std::int32_t height() const { return static_cast<std::int32_t>(entry.height); }
  void save(const std::string& suffix, const RgbImage& image) const { save_png_output(names, suffix, image, files); }
  RgbImage render(std::int32_t pattern, std::int32_t style, std::int32_t set = kSetPlain) const {
    return render_photo(stored, plane, pattern, style, set);
  }
};

void write_file_named(const PhotoWork& work, const std::string& stem, const std::string& extension,
                      std::span<const std::uint8_t> bytes) {
  write_new_file(unique_output_path(work.names.folder, stem, extension), bytes, work.files);
}

// Each main style, each followed by its additional sets.
void render_styles(const PhotoWork& work) {
  const DownloadOptions& o = work.options;
  const std::pair<bool, std::int32_t> styles[] = {
      {o.restrained, kStyleRestrained}, {o.balanced, kStyleBalanced}, {o.expressive, kStyleExpressive},
      {o.legacy_proc, kStyleProc20},    {o.legacy_proc, kStyleProc23},
  };
  const std::pair<bool, std::int32_t> sets[] = {
      {o.brighter, kSetBrighter},
      {o.more_color, kSetMoreColor},
      {o.lower_contrast, kSetLowerContrast},
      {o.stronger_destriping, kSetStrongerDestripe},
  };
  for (const auto& [style_on, style] : styles) {
    if (!style_on) continue;
    work.save(style_name(style), work.render(o.bayer_pattern, style));
    for (const auto& [set_on, set] : sets) {
      if (!set_on) continue;
      work.save(style_name(style) + "-" + additional_set_name(set), work.render(o.bayer_pattern, style, set));
    }
  }
}

// Each decoder variant reads the stream differently and may well not decode at
// all; a variant that fails is noted and the photo goes on. Both renders of a
// variant share its decode, so a failed decode makes neither.
void render_decoder_variants(const PhotoWork& work) {
  const std::vector<ExperimentalRender> renders = fun_variant_renders();
  for (std::size_t first = 0; first < renders.size();) {
    std::size_t end = first;
    while (end < renders.size() && renders[end].decoder_variant == renders[first].decoder_variant) ++end;
    std::vector<std::pair<std::string, RgbImage>> images;
    try {
      const BayerPlane plane =
          decode_raw_photo(work.stored, work.width(), work.height(), true, renders[first].decoder_variant);
      for (std::size_t k = first; k < end; ++k) {
        const ExperimentalRender& r = renders[k];
        images.emplace_back(r.label, render_photo(work.stored, plane, r.pattern, r.style, kSetPlain));
      }
    } catch (const std::exception& e) {
      work.log.variant_skipped(e.what());
      images.clear();
    }
    // Saved outside the skip: a file that cannot be written fails the photo.
    for (const auto& [label, image] : images) work.save(label, image);
    first = end;
  }
}

void render_all(const PhotoWork& work) {
  const DownloadOptions& o = work.options;
  render_styles(work);
  if (o.baseline_render) work.save("baseline", work.render(o.bayer_pattern, kStyleBaseline));
  if (o.historical_mars) work.save("historical-mars", work.render(o.bayer_pattern, kStyleMarsHistorical));
  if (o.all_bayer_patterns) {
    for (std::int32_t pattern : {kPatternBggr, kPatternRggb, kPatternGrbg, kPatternGbrg}) {
      const ExperimentalRender r = bayer_render(pattern);
      work.save(r.label, work.render(r.pattern, r.style));
    }
  }
  if (o.extreme_glitch) {
    const RgbImage balanced = work.render(o.bayer_pattern, kStyleBalanced);
    for (std::int32_t effect = kGlitchScanlineShear; effect <= kGlitchDigitalStorm; ++effect) {
      work.save(extreme_render(effect, o.bayer_pattern).label, render_glitch(balanced, effect));
    }
  }
  if (o.experimental) {
    const std::vector<ExperimentalRender> fun = fun_pattern_renders();
    // The first uses the photo as stored whatever its compression; the other
    // pattern and style renders are for uncompressed photos only.
    const std::size_t count = work.entry.compressed ? 1 : fun.size();
    for (std::size_t k = 0; k < count; ++k) work.save(fun[k].label, work.render(fun[k].pattern, fun[k].style));
    if (work.entry.compressed) render_decoder_variants(work);
  }
}

// What every photo of one job shares.
struct Job {
  CameraSession& session;
  const DownloadOptions& options;
  std::filesystem::path folder;
  SessionLog log;
  FileApi& files;
  LocalTime& time;
  const ProgressFn& progress;
  const CameraEnvironment& env;
  const std::u16string& device_path;
  // A fetch that failed after its first transfer may leave the camera inside
  // a sequence; the next photo starts on a fresh opening, as each directory
  // read of a refresh does.
  bool reopen = false;
};

// Until an opening succeeds, each photo tries again and fails with its error.
void reopen_camera(Job& job) {
  close_camera(job.session);
  paced_sleep(job.env.clock, 100);
  job.session = open_camera(job.env.usb, job.device_path, job.env.clock);
  paced_sleep(job.env.clock, 50);
  job.reopen = false;
}

// Fetch, archive, decode and render one photo; any exception fails this photo
// only, and whatever it wrote before stays.
void download_photo(Job& job, std::uint64_t index, const PhotoEntry& entry) {
  if (job.reopen) reopen_camera(job);
  const PhotoTransfer fetched = fetch_photo(job.session, entry);
  if (!fetched.ok) {
    job.reopen = !fetched.log.empty();
    // The exchange that failed is the one worth documenting, archive or not.
    if (job.options.save_usb_log) job.log.fetch_log(fetched.log);
    throw Failure(fetched.error);
  }

  const std::string stem = download_stem(index, entry);
  const std::string stamp = job.time.timestamp_text();
  PhotoWork work{entry, job.options, fetched.payload, {}, OutputContext{job.folder, stem, stamp}, job.files, job.log};

  const auto raw_path = unique_output_path(job.folder, stem + "_" + stamp, ".velmoraraw");
  write_new_file(raw_path, fetched.payload, job.files);
  job.log.photo_archived(index + 1, entry, utf16_to_utf8(raw_path.filename().u16string()));
  job.progress(u"  Original camera bytes saved.");

  if (job.options.save_usb_transfer) write_file_named(work, stem + "_transfer_" + stamp, ".bin", fetched.transfer);
  if (job.options.save_metadata) {
    const std::string text = metadata_text(entry, fetched.payload, stamp);
    write_new_text_file(unique_output_path(job.folder, stem + "_metadata_" + stamp, ".txt"), text, job.files);
  }
  if (job.options.save_usb_log) job.log.fetch_log(fetched.log);

  work.plane = decode_raw_photo(fetched.payload, work.width(), work.height(), entry.compressed, 0);
  if (job.options.save_bayer_plane) write_file_named(work, stem + "_bayer_" + stamp, ".bin", work.plane.samples);
  render_all(work);
}

}  // namespace

std::int32_t bayer_pattern_from_selection(int item) {
  switch (item) {
    case 1: return kPatternRggb;
    case 2: return kPatternGrbg;
    case 3: return kPatternGbrg;
    default: return kPatternBggr;
  }
}

std::vector<std::uint64_t> collect_download_indices(bool all, std::size_t entry_count,
                                                    const std::vector<bool>& row_checked) {
  std::vector<std::uint64_t> indices;
  if (all) {
    for (std::size_t i = 0; i < entry_count; ++i) indices.push_back(i);
  } else {
    for (std::size_t row = 0; row < row_checked.size(); ++row) {
      if (row_checked[row]) indices.push_back(row);
    }
  }
  return indices;
}

DownloadOptions read_download_options(const std::array<bool, 18>& checked, int bayer_item,
                                      std::u16string destination) {
  DownloadOptions options;
  for (std::size_t i = 0; i < kDownloadFlags.size(); ++i) options.*kDownloadFlags[i].member = checked[i];
  options.bayer_pattern = bayer_pattern_from_selection(bayer_item);
  options.destination = std::move(destination);
  return options;
}

std::variant<DownloadRefusal, DownloadRequest> check_download_controls(const DownloadControls& controls) {
  DownloadRequest request;
  request.indices = collect_download_indices(controls.all, controls.entry_count, controls.row_checked);
  request.options = read_download_options(controls.checked, controls.bayer_item, controls.destination);
  if (auto refusal = check_download_request(request)) return *refusal;
  return request;
}

bool has_something_to_render(const DownloadOptions& o) {
  return o.restrained || o.balanced || o.expressive || o.experimental || o.all_bayer_patterns ||
         o.baseline_render || o.historical_mars || o.legacy_proc || o.extreme_glitch;
}

std::optional<DownloadRefusal> check_download_request(const DownloadRequest& request) {
  if (request.indices.empty()) {
    return DownloadRefusal{u"Check at least one photo, or use Download All.", u"No photographs selected",
                           RefusalIcon::Information};
  }
  if (request.options.destination.empty()) {
    return DownloadRefusal{u"Choose a download folder first.", u"Missing destination", RefusalIcon::Warning};
  }
  if (!has_something_to_render(request.options)) {
    return DownloadRefusal{u"Select at least one output style.", u"Nothing to render", RefusalIcon::Warning};
  }
  return std::nullopt;
}

std::optional<DownloadRefusal> ensure_download_destination(const std::u16string& destination) {
  const DownloadRefusal refusal{u"Cannot create the destination folder.", u"Invalid path", RefusalIcon::Error};
  const std::filesystem::path path = path_of(destination);
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) {
    error.clear();
    std::filesystem::create_directories(path, error);
    if (error) return refusal;
    return std::nullopt;
  }
  if (error || status.type() == std::filesystem::file_type::none) return refusal;
  return std::nullopt;
}

std::optional<DownloadRefusal> prepare_download(const DownloadRequest& request) {
  if (auto refusal = check_download_request(request)) return refusal;
  return ensure_download_destination(request.options.destination);
}

std::u16string download_started_line(std::size_t count) {
  return u"Downloading " + decimal16(count) + u" photograph(s) into the selected folder...";
}

std::u16string download_finished_line(const DownloadResult& result) {
  return u"Finished: " + utf8_to_utf16(std::to_string(result.saved)) + u" saved, " +
         utf8_to_utf16(std::to_string(result.failed)) + u" failed.";
}

std::string download_stem(std::uint64_t index, const PhotoEntry& entry) {
  std::string item = std::to_string(index + 1);
  if (item.size() < 3) item.insert(0, 3 - item.size(), '0');
  return "Velmora_" + item + "_" + short_code(entry);
}

DownloadResult run_download(const CameraEnvironment& env, const ScanData& snapshot,
                            const std::vector<std::uint64_t>& indices, const DownloadOptions& options,
                            const ProgressFn& progress, FileApi& files, LocalTime& time) {
  if (options.destination.empty()) throw Failure("Choose an output directory");
  const std::filesystem::path destination = path_of(options.destination);
  std::filesystem::create_directories(destination);
  const std::filesystem::path folder =
      options.dated_folder ? create_dated_folder(destination, time.date_text()) : destination;

  DownloadResult result;
  result.folder = folder.u16string();
  CameraSession session = open_camera(env.usb, snapshot.device_path, env.clock);
  Job job{session, options, folder, SessionLog(), files, time, progress, env, snapshot.device_path};

  const std::size_t n = indices.size();
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint64_t index = indices[i];
    if (index >= snapshot.entries.size()) {
      ++result.failed;
      continue;
    }
    const PhotoEntry& entry = snapshot.entries[index];
    if (entry.non_still || entry.width == 0 || entry.height == 0) {
      ++result.failed;
      progress(u"Unsupported non-still entry skipped.");
      continue;
    }
    const std::u16string item = decimal16(index + 1);
    progress(u"Downloading photo " + decimal16(i + 1) + u" / " + decimal16(n) + u" (camera item " + item + u")...");
    try {
      download_photo(job, index, entry);
    } catch (const std::exception& e) {
      ++result.failed;
      result.errors += u"Photo " + item + u": " + report_text_to_wide(e.what()) + u"\n";
      job.log.photo_failed(index + 1, e.what());
      progress(u"  Photo " + item + u" failed safely. Remaining photos will be attempted.");
      continue;
    }
    ++result.saved;
    progress(u"  Photo " + item + u" archived and rendered.");
  }
  close_camera(session);

  job.log.completed(result.saved, result.failed);
  if (options.save_usb_log) {
    job.log.directory_observations(snapshot.observation_logs);
    const auto path = unique_output_path(folder, "Velmora_session_" + time.timestamp_text(), ".txt");
    write_new_text_file(path, job.log.text(), files);
  }
  return result;
}

}  // namespace velmora
