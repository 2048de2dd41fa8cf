#include <gtest/gtest.h>

#include <deque>

#include "base/failure.h"
#include "base/text.h"
#include "ui/controller.h"
#include "ops/download.h"

namespace velmora {
namespace {

struct Box {
  std::string text, caption;
  MessageIcon icon;
};

// A window that records what the controller does to it. Threads run at once,
// and posted messages wait in a queue until pump() delivers them.
class FakeWindow : public OperationUi {
 public:
  bool window_alive() override { return alive; }
  bool post(std::uint32_t message, void* payload) override {
    if (!accept_posts) return false;
    queue.push_back({message, payload});
    return true;
  }
  bool start_thread(std::function<void()> body) override {
    if (!threads_start) return false;
    body();
    return true;
  }
  void message_box(const std::u16string& text, const std::u16string& caption, MessageIcon icon) override {
    boxes.push_back({utf16_to_utf8(text), utf16_to_utf8(caption), icon});
  }
  void enable_camera_controls(bool busy) override { controls_disabled = busy; }
  void set_status_line(const std::u16string& text) override { status = utf16_to_utf8(text); }
  void append_log(const std::u16string& line) override { log.push_back(utf16_to_utf8(line)); }
  void fill_photo_list() override { ++list_fills; }
  void take_preview_image(RgbImage image) override {
    preview = std::move(image);
    loading = false;
  }
  void clear_preview() override { preview = RgbImage{}; }
  void set_preview_loading(bool on) override { loading = on; }
  void repaint_preview() override { ++repaints; }
  void update_camera_status() override { ++status_updates; }
  int bayer_override_selection() override { return bayer_item; }
  std::vector<bool> photo_rows_checked() override { return rows; }
  DownloadOptions read_download_options() override { return options; }

  void pump(OperationController& controller) {
    while (!queue.empty()) {
      auto [message, payload] = queue.front();
      queue.pop_front();
      ASSERT_TRUE(controller.handle_message(message, payload));
    }
  }

  bool alive = true, accept_posts = true, threads_start = true;
  std::deque<std::pair<std::uint32_t, void*>> queue;
  std::vector<Box> boxes;
  std::vector<std::string> log;
  std::string status;
  bool controls_disabled = false, loading = false;
  int list_fills = 0, repaints = 0, status_updates = 0, bayer_item = 0;
  RgbImage preview;
  std::vector<bool> rows;
  DownloadOptions options;
};

ScanData scan_with(std::size_t entries) {
  ScanData scan;
  for (std::size_t i = 0; i < entries; ++i) {
    PhotoEntry e;
    e.index = i;
    e.width = 176;
    e.height = 144;
    scan.entries.push_back(e);
  }
  return scan;
}

struct Harness {
  FakeWindow window;
  std::vector<std::int32_t> preview_patterns;
  OperationController::Workers workers{
      [](const ProgressFn& progress) {
        progress(u"Opening the camera safely...");
        return scan_with(2);
      },
      [this](const ScanSnapshot&, std::uint64_t, std::int32_t pattern, const ProgressFn&) {
        preview_patterns.push_back(pattern);
        return RgbImage{2, 1, std::vector<std::uint8_t>(6, 9)};
      },
      [](const ScanSnapshot&, const std::vector<std::uint64_t>& indices, const DownloadOptions& options,
         const ProgressFn&) {
        return DownloadResult{static_cast<std::int32_t>(indices.size()), 0, options.destination, u""};
      }};
  OperationController controller{window, workers};

  void refreshed() {
    controller.refresh();
    window.pump(controller);
    window.log.clear();
    window.boxes.clear();
  }
};

TEST(Controller, RefreshPostsProgressThenTheSnapshot) {
  Harness h;
  h.controller.refresh();
  EXPECT_TRUE(h.controller.busy()) << "busy until the result is handled";
  EXPECT_EQ(h.window.status, "Camera operation in progress...");
  EXPECT_TRUE(h.window.controls_disabled);
  ASSERT_EQ(h.window.queue.size(), 2u);
  EXPECT_EQ(h.window.queue[0].first, WM_OP_PROGRESS);
  EXPECT_EQ(h.window.queue[1].first, WM_OP_SCAN_DONE);
  h.window.pump(h.controller);
  EXPECT_FALSE(h.controller.busy());
  EXPECT_FALSE(h.window.controls_disabled);
  ASSERT_TRUE(h.controller.snapshot());
  EXPECT_EQ(h.controller.snapshot()->entries.size(), 2u);
  EXPECT_EQ(h.window.log, (std::vector<std::string>{"Reading the camera directory (read-only)...",
                                                   "Opening the camera safely...",
                                                   "Found 2 validated item(s). Check photos or Download All."}));
  EXPECT_EQ(h.window.status_updates, 1);
}

TEST(Controller, FailedRefreshLeavesNoSnapshotAndReportsSafely) {
  Harness h;
  h.refreshed();
  h.workers.refresh = [](const ProgressFn&) -> ScanData {
    throw Failure("All five bounded camera directory reads failed. Reconnect the camera; do not reset/delete it.");
  };
  OperationController controller(h.window, h.workers);
  controller.refresh();
  h.window.pump(controller);
  EXPECT_FALSE(controller.busy());
  EXPECT_FALSE(controller.snapshot());
  EXPECT_EQ(h.window.log.back(),
            "ERROR: All five bounded camera directory reads failed. Reconnect the camera; do not reset/delete it.");
  ASSERT_EQ(h.window.boxes.size(), 1u);
  EXPECT_EQ(h.window.boxes[0].caption, "Velmora operation failed safely");
  EXPECT_EQ(h.window.boxes[0].icon, MessageIcon::Warning);
}

TEST(Controller, StartFunctionsDoNothingWhenTheyMayNotStart) {
  Harness h;
  h.controller.preview(0);  // no snapshot
  h.controller.download(true);
  EXPECT_TRUE(h.window.log.empty());
  h.refreshed();
  h.controller.preview(2);  // two entries: index 2 is outside
  EXPECT_TRUE(h.window.log.empty());
  EXPECT_FALSE(h.controller.busy());

  h.window.threads_start = true;
  h.controller.set_busy(true);
  h.controller.refresh();
  h.controller.preview(0);
  h.controller.download(true);
  EXPECT_TRUE(h.window.log.empty()) << "busy: no message, no log line";
  EXPECT_TRUE(h.window.boxes.empty());
  EXPECT_TRUE(h.controller.snapshot()) << "a refresh refused while busy keeps the snapshot";
}

TEST(Controller, PreviewTakesThePatternFromTheBayerOverride) {
  const std::vector<std::pair<int, std::int32_t>> items = {{0, 1}, {1, 0}, {2, 2}, {3, 3}, {-1, 1}};
  for (const auto& [item, pattern] : items) {
    Harness h;
    h.refreshed();
    h.window.bayer_item = item;
    h.controller.preview(1);
    EXPECT_TRUE(h.window.loading);
    h.window.pump(h.controller);
    ASSERT_EQ(h.preview_patterns.size(), 1u);
    EXPECT_EQ(h.preview_patterns[0], pattern) << "combo item " << item;
    EXPECT_EQ(h.window.log.front(), "Previewing camera photo 2...");
    EXPECT_EQ(h.window.log.back(), "Preview displayed. No temporary photo files were saved.");
    EXPECT_EQ(h.window.preview.width, 2);
    EXPECT_FALSE(h.window.loading);
  }
}

TEST(Controller, NothingIsPostedToAWindowThatIsGone) {
  Harness h;
  h.window.alive = false;
  h.controller.refresh();
  EXPECT_TRUE(h.window.queue.empty());  // the sanitizer build proves the payloads were freed
  h.window.alive = true;
  h.window.accept_posts = false;  // PostMessageW fails: the worker keeps and frees the payload
  OperationController controller(h.window, h.workers);
  controller.refresh();
  EXPECT_TRUE(h.window.queue.empty());
}

TEST(Controller, ThreadThatCannotStartDoesNotLeaveTheWindowBusy) {
  Harness h;
  h.window.threads_start = false;
  h.controller.refresh();
  EXPECT_FALSE(h.controller.busy());
  EXPECT_EQ(h.window.log.back(), "ERROR: Could not start the camera operation thread");
}

TEST(Controller, DownloadReportBoxes) {
  struct Case {
    DownloadResult result;
    std::string finished, text, caption;
    MessageIcon icon;
  };
  const std::vector<Case> cases = {
      {{3, 0, u"C:\\Pictures\\Velmora", u""}, "Finished: 3 saved, 0 failed.",
       "Successfully saved 3 photo(s).\n\nC:\\Pictures\\Velmora", "Velmora download complete", MessageIcon::Information},
      {{2, 1, u"D:\\out", u"Photo 2: WinUsb_ReadPipe (Win32 error 121)\n"}, "Finished: 2 saved, 1 failed.",
       "Completed with errors:\nPhoto 2: WinUsb_ReadPipe (Win32 error 121)\n", "Velmora download report",
       MessageIcon::Warning},
  };
  for (const auto& c : cases) {
    Harness h;
    h.controller.set_busy(true);
    h.controller.on_download_done(std::make_unique<DownloadResult>(c.result));
    EXPECT_FALSE(h.controller.busy());
    EXPECT_EQ(h.controller.last_output_folder(), c.result.folder);
    EXPECT_EQ(h.window.log.back(), c.finished);
    ASSERT_EQ(h.window.boxes.size(), 1u);
    EXPECT_EQ(h.window.boxes[0].text, c.text);
    EXPECT_EQ(h.window.boxes[0].caption, c.caption);
    EXPECT_EQ(h.window.boxes[0].icon, c.icon);
  }
}

TEST(Controller, DownloadRefusesWithoutSelection) {
  Harness h;
  h.refreshed();
  h.window.rows = {false, false};
  h.controller.download(false);
  ASSERT_EQ(h.window.boxes.size(), 1u);
  EXPECT_EQ(h.window.boxes[0].text, "Check at least one photo, or use Download All.");
  EXPECT_EQ(h.window.boxes[0].caption, "No photographs selected");
  EXPECT_FALSE(h.controller.busy());
  EXPECT_TRUE(h.window.queue.empty());
}

TEST(Utf8ToWide, EmptyStaysEmptyAndBadUtf8IsUnknown) {
  EXPECT_EQ(utf8_to_wide(""), u"");
  EXPECT_EQ(utf8_to_wide("CreateFile (Win32 error 2)"), u"CreateFile (Win32 error 2)");
  EXPECT_EQ(utf8_to_wide("caf\xc3\xa9"), u"caf\u00e9");
  EXPECT_EQ(utf8_to_wide("bad \xff byte"), u"(unknown)");
  EXPECT_EQ(utf8_to_wide("cut \xe2\x82"), u"(unknown)");
  EXPECT_EQ(utf8_to_wide("replacement \xef\xbf\xbd kept"), u"replacement \ufffd kept");
}

}  // namespace
}  // namespace velmora
