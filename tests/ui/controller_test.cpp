// What only a fake window shows of the controller: threads that do not start, posts that never arrive,
// failure text that is not UTF-8, previews it must not start and a download with errors.
#include <gtest/gtest.h>

#include "base/failure.h"
#include "base/text.h"
#include "ops/download.h"
#include "ui/controller.h"

namespace velmora {
namespace {

// Threads run at once and posts are handled at once; both can be refused.
struct FakeWindow : OperationUi {
  bool window_alive() override { return alive; }
  bool post(std::uint32_t m, void* p) override { return accept_posts && controller.handle_message(m, p); }
  bool start_thread(std::function<void()> body) override { return threads_start && (body(), true); }
  void message_box(const std::u16string& text, const std::u16string& caption, MessageIcon icon) override {
    log.push_back("iwe"[static_cast<int>(icon)] + (" " + utf16_to_utf8(caption + u": " + text)));
  }
  void append_log(const std::u16string& line) override { log.push_back(utf16_to_utf8(line)); }
  void enable_camera_controls(bool) override {}
  void set_status_line(const std::u16string&) override {}
  void fill_photo_list() override {}
  void take_preview_image(RgbImage) override {}
  void clear_preview() override {}
  void set_preview_loading(bool) override {}
  void repaint_preview() override {}
  void update_camera_status() override {}
  int bayer_override_selection() override { return 1; }  // "RGGB"
  std::vector<bool> photo_rows_checked() override { return {}; }
  DownloadOptions read_download_options() override { return {}; }

  bool alive = true, accept_posts = true, threads_start = true;
  std::string thrown;                  // by the refresh worker, when not empty
  std::vector<std::int32_t> patterns;  // given to the preview worker
  std::vector<std::string> log;        // lines and boxes
  ScanData listed{{}, {}, {}, {}, std::vector<PhotoEntry>(2), {}};
  OperationController controller{
      *this,
      {[this](auto&) { return thrown.empty() ? listed : throw Failure(thrown); },
       [this](auto&, auto, std::int32_t pattern, auto&) { return patterns.push_back(pattern), RgbImage{}; }, nullptr}};
};

TEST(Controller, FailuresAreReportedAndEndTheOperation) {
  // Thrown, thread starts, window alive, post taken: what is reported (the sanitizers see lost payloads).
  const std::tuple<std::string, bool, bool, bool, std::string> cases[] = {
      {"Read failed.", true, true, true, "Read failed."},
      {"bad \xff byte", true, true, true, "(unknown)"},
      {"", false, true, true, "Could not start the camera operation thread"},
      {"", true, false, true, ""},
      {"", true, true, false, ""}};
  for (const auto& [thrown, starts, alive, taken, reported] : cases) {
    FakeWindow w;
    std::tie(w.thrown, w.threads_start, w.alive, w.accept_posts) = std::tie(thrown, starts, alive, taken);
    w.controller.refresh();
    std::vector<std::string> expected{"Reading the camera directory (read-only)..."};
    if (!reported.empty())
      expected.insert(expected.end(), {"ERROR: " + reported, "w Velmora operation failed safely: " + reported});
    EXPECT_EQ(w.log, expected);
    EXPECT_EQ(w.controller.busy(), reported.empty());
  }
}

TEST(Controller, PreviewsOnlyAListedPhotoAndReportsDownloadErrors) {
  FakeWindow w;
  w.controller.preview(0);  // nothing listed yet
  w.controller.refresh();
  w.controller.preview(2);  // two entries
  w.controller.preview(1);
  EXPECT_EQ(w.patterns, std::vector<std::int32_t>{0}) << "RGGB";
  w.controller.on_download_done(std::make_unique<DownloadResult>(DownloadResult{2, 1, u"D:\\out", u"Photo 2: x"}));
  EXPECT_EQ(w.log.back(), "w Velmora download report: Completed with errors:\nPhoto 2: x");
}

}  // namespace
}  // namespace velmora
