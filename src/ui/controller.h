#pragma once
// The window's side of the operations: the busy rule, the start functions and
// what the window does with each posted message. Runs on the user interface
// thread only; the window reaches it through OperationUi.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ops/runner.h"

namespace velmora {

struct DownloadResult;
struct DownloadOptions;

// What the controller needs of the main window (UI thread).
class OperationUi : public WindowHost {
 public:
  // Enables (false) or disables (true) the refresh, download and selection
  // buttons and the photo list.
  virtual void enable_camera_controls(bool busy) = 0;
  virtual void set_status_line(const std::u16string& text) = 0;
  virtual void append_log(const std::u16string& line) = 0;
  // Rebuilds the photo list from the controller's snapshot (empty when none).
  virtual void fill_photo_list() = 0;
  // Stores the image for the canvas, sets "available", clears "loading".
  virtual void take_preview_image(RgbImage image) = 0;
  virtual void clear_preview() = 0;
  virtual void set_preview_loading(bool loading) = 0;
  virtual void repaint_preview() = 0;
  // Returns at once while busy; the controller clears busy before calling it.
  virtual void update_camera_status() = 0;
  // The "Bayer override:" item: 0 "BGGR (Auto)", 1 "RGGB", 2 "GRBG", 3 "GBRG"; -1 none.
  virtual int bayer_override_selection() = 0;
  // Per photo-list row: its check box is anything but unchecked.
  virtual std::vector<bool> photo_rows_checked() = 0;
  // The 18 check boxes, the Bayer override and the destination text.
  virtual DownloadOptions read_download_options() = 0;
};

class OperationController {
 public:
  // The workers, run on the worker thread. Replaceable for tests.
  struct Workers {
    std::function<ScanData(const ProgressFn&)> refresh;
    std::function<RgbImage(const ScanSnapshot&, std::uint64_t, std::int32_t, const ProgressFn&)> preview;
    std::function<DownloadResult(const ScanSnapshot&, const std::vector<std::uint64_t>&, const DownloadOptions&,
                                 const ProgressFn&)>
        download;
  };

  OperationController(OperationUi& ui, Workers workers) : ui_(ui), workers_(std::move(workers)) {}

  bool busy() const { return busy_; }
  const ScanSnapshot& snapshot() const { return snapshot_; }
  const std::u16string& last_output_folder() const { return last_output_folder_; }
  void drop_snapshot() { snapshot_.reset(); }

  // Start functions; each does nothing at all when it may not start.
  void refresh();
  void preview(std::uint64_t index);
  // "Download All" (true) or "Download Selected" (false): the command's
  // checks, the options snapshot, then the download thread.
  void download(bool all);

  void set_busy(bool on);

  // Message handlers; each adopts its payload.
  void on_progress(std::unique_ptr<ProgressPayload> line);
  void on_scan_done(std::unique_ptr<ScanDonePayload> payload);
  void on_preview_done(std::unique_ptr<PreviewDonePayload> image);
  void on_download_done(std::unique_ptr<DownloadResult> result);
  void on_failed(std::unique_ptr<FailurePayload> text);
  // Dispatches one posted message; false when it is not an operation message.
  bool handle_message(std::uint32_t message, void* payload);

 private:
  // A thread that could not start must not leave the window busy.
  void start(std::function<void()> body);

  OperationUi& ui_;
  Workers workers_;
  bool busy_ = false;
  ScanSnapshot snapshot_;
  std::u16string last_output_folder_;
};

}  // namespace velmora
