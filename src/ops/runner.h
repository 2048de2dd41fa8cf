#pragma once
// The operation runner: one camera operation at a time on a worker thread of
// its own, talking back to the window only by posted messages. Portable: the
// window and the thread start are reached through WindowHost, so the rules
// are tested natively; the Win32 host lives with the window.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ops/operation_env.h"
#include "ops/scan_data.h"
#include "render/rgb_image.h"

namespace velmora {

constexpr std::uint32_t kWmApp = 0x8000;
constexpr std::uint32_t WM_OP_PROGRESS = kWmApp + 1;
constexpr std::uint32_t WM_OP_SCAN_DONE = kWmApp + 2;
constexpr std::uint32_t WM_OP_PREVIEW_DONE = kWmApp + 3;
constexpr std::uint32_t WM_OP_DOWNLOAD_DONE = kWmApp + 4;
constexpr std::uint32_t WM_OP_FAILED = kWmApp + 5;

// Payloads. Each is one heap object; ownership passes with a successful post.
using ProgressPayload = std::u16string;
using FailurePayload = std::u16string;
struct ScanDonePayload {
  ScanSnapshot snapshot;
};
using PreviewDonePayload = RgbImage;

enum class MessageIcon { Information, Warning, Error };

// What a worker thread and the start functions need of the window.
class WindowHost {
 public:
  virtual ~WindowHost() = default;
  // IsWindow on the main window. Any thread.
  virtual bool window_alive() = 0;
  // PostMessageW(main window, message, 0, payload). Any thread; never blocks.
  // True when the window took ownership of the payload.
  virtual bool post(std::uint32_t message, void* payload) = 0;
  // Starts a detached thread running body; false when no thread could be made.
  virtual bool start_thread(std::function<void()> body) = 0;
  // A modal box with one OK button, owned by the main window. UI thread.
  virtual void message_box(const std::u16string& text, const std::u16string& caption, MessageIcon icon) = 0;
};

// The failure text of a worker, as the window shows it: empty stays empty,
// text that is not UTF-8 becomes "(unknown)".
std::u16string utf8_to_wide(const char* what);

// A ProgressFn that posts a copy of each line while the window exists.
ProgressFn posting_progress(WindowHost& host);

// The body of every worker thread: build the progress callback, run the
// worker, post its result (or its failure text) while the window exists.
template <class Result>
void run_worker_thread(WindowHost& host, std::uint32_t done_message,
                       const std::function<Result(const ProgressFn&)>& worker);

// Posts one heap payload; frees it when the window is gone or the post fails.
template <class Payload>
void post_payload(WindowHost& host, std::uint32_t message, std::unique_ptr<Payload> payload) {
  if (!host.window_alive()) return;
  if (host.post(message, payload.get())) payload.release();
}

template <class Result>
void run_worker_thread(WindowHost& host, std::uint32_t done_message,
                       const std::function<Result(const ProgressFn&)>& worker) {
  const ProgressFn progress = posting_progress(host);
  try {
    Result result = worker(progress);
    if constexpr (std::is_same_v<Result, ScanData>) {
      post_payload(
          host, done_message,
          std::make_unique<ScanDonePayload>(ScanDonePayload{std::make_shared<const ScanData>(std::move(result))}));
    } else {
      post_payload(host, done_message, std::make_unique<Result>(std::move(result)));
    }
  } catch (const std::exception& e) {
    post_payload(host, WM_OP_FAILED, std::make_unique<FailurePayload>(utf8_to_wide(e.what())));
  } catch (...) {
    post_payload(host, WM_OP_FAILED, std::make_unique<FailurePayload>(u"(unknown)"));
  }
}

}  // namespace velmora
