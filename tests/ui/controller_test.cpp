// What only a fake window shows of the controller: failing workers and
// threads, posts that never arrive, previews it must not start and the report
// of a download with errors. The rest is checked on the real window.
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
  bool post(std::uint32_t message, void* payload) override {
    return accept_posts && controller.handle_message(message, payload);
  }
  bool start_thread(std::function<void()> body) override { return threads_start && (body(), true); }
  void message_box(const std::u16string& text, const std::u16string& caption, MessageIcon icon) override {
    log.push_back("iwe"[static_cast<int>(icon)] + (" " + utf16_to_utf8(caption + u": " + text)));
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

  bool alive = true, accept_posts = true, threads_start = true;
  std::string thrown;                  // by the refresh worker, when not empty
  std::vector<std::int32_t> patterns;  // given to the preview worker
  std::vector<std::string> log;        // lines and boxes
  ScanData listed{{}, {}, {}, {}, std::vector<PhotoEntry>(2), {}};
  OperationController controller{*this,
                                 {[this](const ProgressFn&) { return thrown.empty() ? listed : throw Failure(thrown); },
                                  [this](const ScanSnapshot&, std::uint64_t, std::int32_t pattern, const ProgressFn&) {
                                    return patterns.push_back(pattern), RgbImage{};
                                  },
                                  nullptr}};
};

TEST(Controller, FailuresAreReportedAndEndTheOperation) {
  const std::tuple<std::string, bool, std::string> cases[] = {
      {"All five bounded camera directory reads failed.", true, "All five bounded camera directory reads failed."},
      {"bad \xff byte", true, "(unknown)"},
      {"", false, "Could not start the camera operation thread"}};
  for (const auto& [thrown, thread_starts, reported] : cases) {
    FakeWindow w;
    w.thrown = thrown;
    w.threads_start = thread_starts;
    w.controller.refresh();
    EXPECT_FALSE(w.controller.busy() || w.controller.snapshot());
    EXPECT_EQ(w.log, (std::vector<std::string>{"Reading the camera directory (read-only)...", "ERROR: " + reported,
                                               "w Velmora operation failed safely: " + reported}));
  }
}

TEST(Controller, NothingIsPostedToAWindowThatIsGoneOrRefusesIt) {
  for (const bool alive : {false, true}) {
    FakeWindow w;  // the sanitizer build proves the payloads were freed
    w.alive = alive;
    w.accept_posts = false;
    w.controller.refresh();
    EXPECT_EQ(w.log.size(), 1u);
  }
}

TEST(Controller, PreviewsOnlyAListedPhotoInTheOverridePattern) {
  FakeWindow w;
  w.controller.preview(0);  // nothing listed yet
  w.controller.refresh();
  w.controller.preview(2);  // two entries
  w.controller.preview(1);
  EXPECT_EQ(w.patterns, std::vector<std::int32_t>{0}) << "RGGB";
}

TEST(Controller, DownloadWithErrorsReportsThem) {
  FakeWindow w;
  w.controller.set_busy(true);
  w.controller.on_download_done(std::make_unique<DownloadResult>(DownloadResult{2, 1, u"D:\\out", u"Photo 2: x\n"}));
  EXPECT_FALSE(w.controller.busy());
  EXPECT_EQ(w.controller.last_output_folder(), u"D:\\out");
  EXPECT_EQ(w.log, (std::vector<std::string>{"Finished: 2 saved, 1 failed.",
                                             "w Velmora download report: Completed with errors:\nPhoto 2: x\n"}));
}

}  // namespace
}  // namespace velmora
