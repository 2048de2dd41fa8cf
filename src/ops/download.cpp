#include "ops/download.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <system_error>
#include <thread>

#include "base/failure.h"
#include "base/text.h"
#include "decode/mars_decoder.h"
#include "link/transport.h"
#include "ops/photo_renders.h"
#include "ops/session_log.h"
#include "output/naming.h"
#include "output/new_file.h"
#include "output/report_text.h"
#include "output/save_png.h"
#include "protocol/photo_fetch.h"
#include "render/demosaic.h"

namespace velmora {
namespace {

std::u16string decimal16(std::uint64_t value) { return utf8_to_utf16(std::to_string(value)); }

std::filesystem::path path_of(const std::u16string& text) { return std::filesystem::path(text); }

// The lines of a later photo wait until every line of the photos before it is
// out, so the stream reads as if the photos were handled one after the other.
// Positions count the job's list from 0.
class OrderedProgress {
 public:
  explicit OrderedProgress(const ProgressFn& progress) : progress_(progress) {}

  void report(std::size_t position, std::u16string line) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (position == current_) {
      progress_(line);
    } else {
      waiting_[position].push_back(std::move(line));
    }
  }

  // Every line of the current position is out.
  void finish() {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++current_;
    const auto it = waiting_.find(current_);
    if (it == waiting_.end()) return;
    for (const std::u16string& line : it->second) progress_(line);
    waiting_.erase(it);
  }

 private:
  std::mutex mutex_;
  const ProgressFn& progress_;
  std::size_t current_ = 0;
  std::map<std::size_t, std::vector<std::u16string>> waiting_;
};

// One position of the job's list as the fetching side hands it on.
struct FetchedPhoto {
  std::size_t position = 0;
  std::uint64_t index = 0;
  const PhotoEntry* entry = nullptr;  // null: the index is no longer in the list
  bool skipped = false;               // not a still photo
  std::optional<PhotoTransfer> fetched;
  std::exception_ptr fetch_error;  // the fetch threw
  std::string stamp;               // taken when the fetch completed
};

// What the writing side keeps from photo to photo.
struct Writer {
  const DownloadOptions& options;
  std::filesystem::path folder;
  FileApi& files;
  OrderedProgress& progress;
  SessionLog log;
  RenderCrew crew;
  BayerPlane plane;  // reused from photo to photo
  DownloadResult result;
};

void write_file_named(const Writer& job, const std::string& stem, const std::string& extension,
                      std::span<const std::uint8_t> bytes) {
  write_new_file(unique_output_path(job.folder, stem, extension), bytes, job.files);
}

// The rendered files in the table's order; the first failure outside the
// decoder variants ends the photo.
void write_renders(Writer& job, const FetchedPhoto& photo, const std::string& stem) {
  const OutputContext names{job.folder, stem, photo.stamp};
  const std::vector<RenderStep> steps = plan_renders(job.options, photo.entry->compressed);
  job.crew.run(PhotoToRender{photo.fetched->payload, job.plane, photo.position}, steps,
               [&](const RenderStep& step, const StepOutput& out) {
                 // Only a render may be skipped; a file that cannot be written fails the photo.
                 for (std::size_t k = 0; k < out.count; ++k) {
                   save_png_file(names, out.files[k].label, out.files[k].png, job.files);
                 }
                 if (!out.error) return;
                 try {
                   std::rethrow_exception(out.error);
                 } catch (const std::exception& e) {
                   if (!step.optional) throw;
                   job.log.variant_skipped(e.what());
                 }
               });
}

// Archive, decode and render one fetched photo; any exception fails this
// photo only, and whatever it wrote before stays.
void write_photo(Writer& job, const FetchedPhoto& photo) {
  if (photo.fetch_error) std::rethrow_exception(photo.fetch_error);
  const PhotoTransfer& fetched = *photo.fetched;
  if (!fetched.ok) {
    // The exchange that failed is the one worth documenting, archive or not.
    if (job.options.save_usb_log) job.log.fetch_log(fetched.log);
    throw Failure(fetched.error);
  }
  const PhotoEntry& entry = *photo.entry;
  const std::string stem = download_stem(photo.index, entry);
  const std::string& stamp = photo.stamp;

  const auto raw_path = unique_output_path(job.folder, stem + "_" + stamp, ".velmoraraw");
  write_new_file(raw_path, fetched.payload, job.files);
  job.log.photo_archived(photo.index + 1, entry, utf16_to_utf8(raw_path.filename().u16string()));
  job.progress.report(photo.position, u"  Original camera bytes saved.");

  if (job.options.save_usb_transfer) write_file_named(job, stem + "_transfer_" + stamp, ".bin", fetched.transfer);
  if (job.options.save_metadata) {
    const std::string text = metadata_text(entry, fetched.payload, stamp);
    write_new_text_file(unique_output_path(job.folder, stem + "_metadata_" + stamp, ".txt"), text, job.files);
  }
  if (job.options.save_usb_log) job.log.fetch_log(fetched.log);

  decode_raw_photo(fetched.payload, static_cast<std::int32_t>(entry.width), static_cast<std::int32_t>(entry.height),
                   entry.compressed, 0, job.plane);
  if (job.options.save_bayer_plane) write_file_named(job, stem + "_bayer_" + stamp, ".bin", job.plane.samples);
  write_renders(job, photo, stem);
}

// Counts and reports one position of the list.
void settle(Writer& job, const FetchedPhoto& photo) {
  if (photo.entry == nullptr || photo.skipped) {
    ++job.result.failed;
    return;
  }
  const std::u16string item = decimal16(photo.index + 1);
  try {
    write_photo(job, photo);
  } catch (const std::exception& e) {
    ++job.result.failed;
    job.result.errors += u"Photo " + item + u": " + report_text_to_wide(e.what()) + u"\n";
    job.log.photo_failed(photo.index + 1, e.what());
    job.progress.report(photo.position, u"  Photo " + item + u" failed safely. Remaining photos will be attempted.");
    return;
  }
  ++job.result.saved;
  job.progress.report(photo.position, u"  Photo " + item + u" archived and rendered.");
}

// The hand-over between the thread that fetches and the one that writes. The
// fetching side may start a fetch only while fewer than `in_flight` fetched
// photos are waiting or being written, so memory stays bounded; positions that
// carry no bytes (skipped, gone, failed to fetch) do not count.
class Handover {
 public:
  explicit Handover(std::size_t in_flight) : in_flight_(std::max<std::size_t>(in_flight, 1)) {}

  // False when the writing side has stopped.
  bool wait_to_fetch() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || holding_ + 1 <= in_flight_; });
    return !stopped_;
  }
  void hand(FetchedPhoto photo) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (photo.fetched) ++holding_;
    queue_.push_back(std::move(photo));
    changed_.notify_all();
  }
  void close() {
    const std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    changed_.notify_all();
  }
  // The next position, or nothing once the fetching side is done.
  std::optional<FetchedPhoto> take() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return closed_ || !queue_.empty(); });
    if (queue_.empty()) return std::nullopt;
    FetchedPhoto photo = std::move(queue_.front());
    queue_.pop_front();
    return photo;
  }
  // A photo taken from the queue is written and its bytes are gone.
  void settled(bool held_bytes) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (held_bytes) --holding_;
    changed_.notify_all();
  }
  void stop() {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t in_flight_;
  std::deque<FetchedPhoto> queue_;
  std::size_t holding_ = 0;
  bool closed_ = false;
  bool stopped_ = false;
};

void write_all(Writer& job, Handover& handover) {
  while (std::optional<FetchedPhoto> photo = handover.take()) {
    settle(job, *photo);
    const bool held_bytes = photo->fetched.has_value();
    photo.reset();  // its bytes go before the next photo is fetched
    job.progress.finish();
    handover.settled(held_bytes);
  }
}

// What the fetching side keeps from photo to photo.
struct Fetcher {
  const CameraEnvironment& env;
  const ScanData& snapshot;
  CameraSession session;
  // A fetch that failed after its first transfer may leave the camera inside
  // a sequence; the next photo starts on a fresh opening, as each directory
  // read of a refresh does.
  bool reopen = false;
};

// Until an opening succeeds, each photo tries again and fails with its error.
void reopen_camera(Fetcher& fetcher) {
  close_camera(fetcher.session);
  paced_sleep(fetcher.env.clock, 100);
  fetcher.session = open_camera(fetcher.env.usb, fetcher.snapshot.device_path, fetcher.env.clock);
  paced_sleep(fetcher.env.clock, 50);
  fetcher.reopen = false;
}

FetchedPhoto fetch_position(Fetcher& fetcher, std::size_t position, std::uint64_t index, std::size_t n,
                            OrderedProgress& progress, LocalTime& time) {
  const ScanData& snapshot = fetcher.snapshot;
  FetchedPhoto photo;
  photo.position = position;
  photo.index = index;
  if (index >= snapshot.entries.size()) return photo;
  photo.entry = &snapshot.entries[index];
  if (photo.entry->non_still || photo.entry->width == 0 || photo.entry->height == 0) {
    photo.skipped = true;
    progress.report(position, u"Unsupported non-still entry skipped.");
    return photo;
  }
  progress.report(position, u"Downloading photo " + decimal16(position + 1) + u" / " + decimal16(n) +
                                u" (camera item " + decimal16(index + 1) + u")...");
  try {
    if (fetcher.reopen) reopen_camera(fetcher);
    photo.fetched = fetch_photo(fetcher.session, *photo.entry);
    if (photo.fetched->ok) {
      photo.stamp = time.timestamp_text();
    } else {
      fetcher.reopen = !photo.fetched->log.empty();
    }
  } catch (...) {
    photo.fetch_error = std::current_exception();
  }
  return photo;
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

DownloadOptions read_download_options(const std::array<bool, 18>& checked, int bayer_item, std::u16string destination) {
  DownloadOptions options;
  for (std::size_t i = 0; i < kDownloadFlags.size(); ++i) options.*kDownloadFlags[i] = checked[i];
  options.bayer_pattern = bayer_pattern_from_selection(bayer_item);
  options.destination = std::move(destination);
  return options;
}

bool has_something_to_render(const DownloadOptions& o) {
  return o.restrained || o.balanced || o.expressive || o.experimental || o.all_bayer_patterns || o.baseline_render ||
         o.historical_mars || o.legacy_proc || o.extreme_glitch;
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
                            const ProgressFn& progress, FileApi& files, LocalTime& time,
                            const DownloadConcurrency& concurrency) {
  if (options.destination.empty()) throw Failure("Choose an output directory");
  const std::filesystem::path destination = path_of(options.destination);
  std::filesystem::create_directories(destination);
  const std::filesystem::path folder =
      options.dated_folder ? create_dated_folder(destination, time.date_text()) : destination;

  Fetcher fetcher{env, snapshot, open_camera(env.usb, snapshot.device_path, env.clock)};
  OrderedProgress ordered(progress);
  Writer job{options, folder, files, ordered, SessionLog(), RenderCrew(concurrency.render_helpers), {}, {}};

  // This thread keeps the camera and fetches; the writer archives, decodes,
  // renders and writes each photo while the next one is fetched.
  Handover handover(concurrency.photos_in_flight);
  std::exception_ptr writer_error;
  std::thread writer([&] {
    try {
      write_all(job, handover);
    } catch (...) {
      writer_error = std::current_exception();
      handover.stop();
    }
  });
  struct JoinWriter {
    Handover& handover;
    std::thread& writer;
    ~JoinWriter() {
      handover.close();
      if (writer.joinable()) writer.join();
    }
  } join{handover, writer};

  const std::size_t n = indices.size();
  for (std::size_t i = 0; i < n && handover.wait_to_fetch(); ++i) {
    handover.hand(fetch_position(fetcher, i, indices[i], n, ordered, time));
  }
  close_camera(fetcher.session);
  handover.close();
  writer.join();
  if (writer_error) std::rethrow_exception(writer_error);

  DownloadResult result = std::move(job.result);
  result.folder = folder.u16string();
  SessionLog& log = job.log;
  log.completed(result.saved, result.failed);
  if (options.save_usb_log) {
    log.directory_observations(snapshot.observation_logs);
    const auto path = unique_output_path(folder, "Velmora_session_" + time.timestamp_text(), ".txt");
    write_new_text_file(path, log.text(), files);
  }
  return result;
}

}  // namespace velmora
