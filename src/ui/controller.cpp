#include "ui/controller.h"

#include "base/text.h"
#include "ops/download.h"

namespace velmora {
namespace {

MessageIcon icon_of(RefusalIcon icon) {
  switch (icon) {
    case RefusalIcon::Information: return MessageIcon::Information;
    case RefusalIcon::Warning: return MessageIcon::Warning;
    case RefusalIcon::Error: break;
  }
  return MessageIcon::Error;
}

std::u16string decimal(std::int64_t value) { return utf8_to_utf16(std::to_string(value)); }

}  // namespace

void OperationController::set_busy(bool on) {
  busy_ = on;
  ui_.enable_camera_controls(on);
  if (on) ui_.set_status_line(u"Camera operation in progress...");
}

void OperationController::start(std::function<void()> body) {
  if (ui_.start_thread(std::move(body))) return;
  // No thread: report it the way a failing worker would, so busy is cleared.
  on_failed(std::make_unique<FailurePayload>(u"Could not start the camera operation thread"));
}

void OperationController::refresh() {
  if (busy_) return;
  snapshot_.reset();
  ui_.fill_photo_list();
  ui_.clear_preview();
  set_busy(true);
  ui_.append_log(u"Reading the camera directory (read-only)...");
  auto worker = workers_.refresh;
  OperationUi& host = ui_;
  start([worker, &host] {
    run_worker_thread<ScanData>(host, WM_OP_SCAN_DONE, [&](const ProgressFn& progress) { return worker(progress); });
  });
}

void OperationController::preview(std::uint64_t index) {
  if (busy_ || !snapshot_ || index >= snapshot_->entries.size()) return;
  set_busy(true);
  ui_.clear_preview();
  ui_.set_preview_loading(true);
  ui_.repaint_preview();
  ui_.append_log(u"Previewing camera photo " + decimal(static_cast<std::int64_t>(index + 1)) + u"...");
  const std::int32_t pattern = bayer_pattern_from_selection(ui_.bayer_override_selection());
  auto worker = workers_.preview;
  ScanSnapshot snapshot = snapshot_;
  OperationUi& host = ui_;
  start([worker, snapshot, index, pattern, &host] {
    run_worker_thread<RgbImage>(host, WM_OP_PREVIEW_DONE,
                                [&](const ProgressFn& progress) { return worker(snapshot, index, pattern, progress); });
  });
}

void OperationController::download(bool all) {
  if (busy_ || !snapshot_) return;
  DownloadRequest request;
  request.indices =
      collect_download_indices(all, snapshot_->entries.size(), all ? std::vector<bool>{} : ui_.photo_rows_checked());
  if (!request.indices.empty()) request.options = ui_.read_download_options();
  if (const auto refusal = prepare_download(request)) {
    ui_.message_box(refusal->text, refusal->caption, icon_of(refusal->icon));
    return;
  }
  set_busy(true);
  ui_.append_log(download_started_line(request.indices.size()));
  auto worker = workers_.download;
  ScanSnapshot snapshot = snapshot_;
  OperationUi& host = ui_;
  start([worker, snapshot, request, &host] {
    run_worker_thread<DownloadResult>(host, WM_OP_DOWNLOAD_DONE, [&](const ProgressFn& progress) {
      return worker(snapshot, request.indices, request.options, progress);
    });
  });
}

void OperationController::on_progress(std::unique_ptr<ProgressPayload> line) { ui_.append_log(*line); }

void OperationController::on_scan_done(std::unique_ptr<ScanDonePayload> payload) {
  snapshot_ = std::move(payload->snapshot);
  set_busy(false);
  ui_.fill_photo_list();
  ui_.update_camera_status();
  ui_.append_log(u"Found " + decimal(static_cast<std::int64_t>(snapshot_ ? snapshot_->entries.size() : 0)) +
                 u" validated item(s). Check photos or Download All.");
}

void OperationController::on_preview_done(std::unique_ptr<PreviewDonePayload> image) {
  ui_.take_preview_image(std::move(*image));
  set_busy(false);
  ui_.update_camera_status();
  ui_.repaint_preview();
  ui_.append_log(u"Preview displayed. No temporary photo files were saved.");
}

void OperationController::on_download_done(std::unique_ptr<DownloadResult> result) {
  last_output_folder_ = result->folder;
  set_busy(false);
  ui_.update_camera_status();
  ui_.append_log(download_finished_line(*result));
  if (result->failed != 0) {
    ui_.message_box(u"Completed with errors:\n" + result->errors, u"Velmora download report", MessageIcon::Warning);
  } else {
    ui_.message_box(u"Successfully saved " + decimal(result->saved) + u" photo(s).\n\n" + result->folder,
                    u"Velmora download complete", MessageIcon::Information);
  }
}

void OperationController::on_failed(std::unique_ptr<FailurePayload> text) {
  ui_.set_preview_loading(false);
  set_busy(false);
  ui_.update_camera_status();
  ui_.repaint_preview();
  ui_.append_log(u"ERROR: " + *text);
  ui_.message_box(*text, u"Velmora operation failed safely", MessageIcon::Warning);
}

bool OperationController::handle_message(std::uint32_t message, void* payload) {
  switch (message) {
    case WM_OP_PROGRESS:
      on_progress(std::unique_ptr<ProgressPayload>(static_cast<ProgressPayload*>(payload)));
      return true;
    case WM_OP_SCAN_DONE:
      on_scan_done(std::unique_ptr<ScanDonePayload>(static_cast<ScanDonePayload*>(payload)));
      return true;
    case WM_OP_PREVIEW_DONE:
      on_preview_done(std::unique_ptr<PreviewDonePayload>(static_cast<PreviewDonePayload*>(payload)));
      return true;
    case WM_OP_DOWNLOAD_DONE:
      on_download_done(std::unique_ptr<DownloadResult>(static_cast<DownloadResult*>(payload)));
      return true;
    case WM_OP_FAILED: on_failed(std::unique_ptr<FailurePayload>(static_cast<FailurePayload*>(payload))); return true;
    default: return false;
  }
}

}  // namespace velmora
