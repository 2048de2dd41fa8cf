// What only a fake window can show of the controller: failing workers and
// threads, posts that do not arrive, and the download report with errors. The
// rest of its rules are checked on the real window (main_window_test_win.cpp).
#include <gtest/gtest.h>

#include <deque>

#include "base/failure.h"
#include "ops/download.h"
#include "ui/controller.h"
#include "ui/recording_shell.h"

namespace velmora {
namespace {

// Threads run at once; posted messages wait until pump() delivers them.
class FakeWindow : public OperationUi {
 public:
  bool window_alive() override { return alive; }
  bool post(std::uint32_t message, void* payload) override {
    if (accept_posts) queue.push_back({message, payload});
    return accept_posts;
  }
  bool start_thread(std::function<void()> body) override {
    if (threads_start) body();
    return threads_start;
  }
  void message_box(const std::u16string& text, const std::u16string& caption, MessageIcon icon) override {
    boxes.push_back(test::box_line(text, caption, icon));
  }
  void enable_camera_controls(bool) override {}
  void set_status_line(const std::u16string&) override {}
  void append_log(const std::u16string& line) override { log.push_back(utf16_to_utf8(line)); }
  void fill_photo_list() override {}
  void take_preview_image(RgbImage) override {}
  void clear_preview() override {}
  void set_preview_loading(bool) override {}
  void repaint_preview() override {}
  void update_camera_status() override {}
  int bayer_override_selection() override { return 1; }  // "RGGB"
  std::vector<bool> photo_rows_checked() override { return {}; }
  DownloadOptions read_download_options() override { return {}; }

  void pump(OperationController& controller) {
    for (; !queue.empty(); queue.pop_front())
      EXPECT_TRUE(controller.handle_message(queue.front().first, queue.front().second));
  }

  bool alive = true, accept_posts = true, threads_start = true;
  std::deque<std::pair<std::uint32_t, void*>> queue;
  std::vector<std::string> boxes, log;
};

struct Harness {
  FakeWindow window;
  std::string refresh_failure;
  std::vector<std::int32_t> preview_patterns;
  OperationController controller{window,
                                 {[this](const ProgressFn&) {
                                    if (!refresh_failure.empty()) throw Failure(refresh_failure);
                                    ScanData scan;
                                    scan.entries.resize(2);
                                    return scan;
                                  },
                                  [this](const ScanSnapshot&, std::uint64_t, std::int32_t pattern, const ProgressFn&) {
                                    preview_patterns.push_back(pattern);
                                    return RgbImage{1, 1, {1, 2, 3}};
                                  },
                                  [](const ScanSnapshot&, const std::vector<std::uint64_t>&, const DownloadOptions&,
                                     const ProgressFn&) { return DownloadResult{}; }}};
};

TEST(Controller, FailuresAreReportedAndClearBusy) {
  struct Case {
    std::string thrown;
    bool thread_starts;
    std::string reported;
  };
  const Case cases[] = {
      {"All five bounded camera directory reads failed.", true, "All five bounded camera directory reads failed."},
      {"bad \xff byte", true, "(unknown)"},
      {"", false, "Could not start the camera operation thread"}};
  for (const Case& c : cases) {
    Harness h;
    h.refresh_failure = c.thrown;
    h.window.threads_start = c.thread_starts;
    h.controller.refresh();
    h.window.pump(h.controller);
    EXPECT_FALSE(h.controller.busy());
    EXPECT_FALSE(h.controller.snapshot());
    EXPECT_EQ(h.window.log.back(), "ERROR: " + c.reported);
    EXPECT_EQ(h.window.boxes, std::vector<std::string>{"w Velmora operation failed safely: " + c.reported});
  }
}

TEST(Controller, NothingIsPostedToAWindowThatIsGone) {
  Harness h;
  h.window.alive = false;
  h.controller.refresh();
  EXPECT_TRUE(h.window.queue.empty());  // the sanitizer build proves the payloads were freed
  Harness failing_posts;
  failing_posts.window.accept_posts = false;  // PostMessageW fails: the worker keeps and frees the payload
  failing_posts.controller.refresh();
  EXPECT_TRUE(failing_posts.window.queue.empty());
}

TEST(Controller, PreviewOnlyOfAListedPhotoWithTheOverridePattern) {
  Harness h;
  h.controller.preview(0);
  h.controller.refresh();
  h.window.pump(h.controller);
  h.controller.preview(2);
  EXPECT_TRUE(h.preview_patterns.empty()) << "no snapshot, then index 2 of two entries";
  h.controller.preview(1);
  h.window.pump(h.controller);
  EXPECT_EQ(h.preview_patterns, std::vector<std::int32_t>{0}) << "RGGB";
  EXPECT_EQ(h.window.log.back(), "Preview displayed. No temporary photo files were saved.");
}

TEST(Controller, DownloadWithErrorsReportsThem) {
  Harness h;
  h.controller.set_busy(true);
  h.controller.on_download_done(std::make_unique<DownloadResult>(
      DownloadResult{2, 1, u"D:\\out", u"Photo 2: WinUsb_ReadPipe (Win32 error 121)\n"}));
  EXPECT_FALSE(h.controller.busy());
  EXPECT_EQ(h.controller.last_output_folder(), u"D:\\out");
  EXPECT_EQ(h.window.log.back(), "Finished: 2 saved, 1 failed.");
  EXPECT_EQ(h.window.boxes,
            std::vector<std::string>{
                "w Velmora download report: Completed with errors:\nPhoto 2: WinUsb_ReadPipe (Win32 error 121)\n"});
}

}  // namespace
}  // namespace velmora
