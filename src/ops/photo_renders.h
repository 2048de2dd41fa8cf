#pragma once
// One photo's renderings for a download, in the order of the rendering table,
// as steps that helper threads may compute ahead while one thread takes the
// finished files in order. Helpers only decode, render and encode; they never
// touch the camera, the window or the disk.

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "decode/bayer_plane.h"
#include "ops/download.h"
#include "render/render_photo.h"
#include "render/rgb_image.h"

namespace velmora {

// The photo the steps render: its stored bytes and its decoded plane, and
// the job's position of it, which tells one photo from the next.
struct PhotoToRender {
  std::span<const std::uint8_t> stored;
  const BayerPlane& plane;
  std::size_t position = 0;
};

// One encoded file of a step, named by its suffix.
struct RenderedFile {
  std::string label;
  std::vector<std::uint8_t> png;
};

// What one step made: its files in order, then the failure that ended it
// (null when none). Buffers beyond `count` are kept for the next step.
struct StepOutput {
  std::vector<RenderedFile> files;
  std::size_t count = 0;
  std::exception_ptr error;

  RenderedFile& next_file(const std::string& label);
};

// A thread's own images and plane, reused from one render to the next, and
// the photo's plane demosaicked in the last pattern it asked for.
struct RenderScratch {
  BayerPlane plane;
  RgbImage image;
  RgbImage effect;
  DemosaickedPhoto demosaicked;
  std::optional<std::size_t> demosaicked_position;
};

struct RenderStep {
  // A decoder variant: its failure is noted and the photo goes on.
  bool optional = false;
  std::function<void(const PhotoToRender&, RenderScratch&, StepOutput&)> run;
};

// The rendering table for these options; `compressed` is the photo's.
std::vector<RenderStep> plan_renders(const DownloadOptions& options, bool compressed);

// Helper threads that compute the steps of one photo at a time, a few steps
// ahead of the thread that takes them; that thread computes steps too when it
// would otherwise wait.
class RenderCrew {
 public:
  explicit RenderCrew(unsigned helpers);
  ~RenderCrew();
  RenderCrew(const RenderCrew&) = delete;
  RenderCrew& operator=(const RenderCrew&) = delete;

  // Calls take with each step's output in the steps' order, on the calling
  // thread. When take throws, the steps not yet taken are dropped, and the
  // exception passes on once no helper works on the photo any more.
  void run(const PhotoToRender& photo, const std::vector<RenderStep>& steps,
           const std::function<void(const RenderStep&, const StepOutput&)>& take);

 private:
  struct Slot {
    StepOutput output;
    bool ready = false;
  };

  void helper_loop();
  bool can_claim() const;
  // Computes the next unclaimed step; called and returns with the lock held.
  void compute_next(std::unique_lock<std::mutex>& lock, RenderScratch& scratch);

  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  const PhotoToRender* photo_ = nullptr;
  const std::vector<RenderStep>* steps_ = nullptr;
  std::size_t next_claim_ = 0;
  std::size_t next_take_ = 0;
  bool dropped_ = false;
  unsigned working_ = 0;
  std::vector<Slot> slots_;  // step k's output lives in slot k % size
  RenderScratch own_scratch_;
  std::vector<std::thread> helpers_;
};

}  // namespace velmora
