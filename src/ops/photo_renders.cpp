#include "ops/photo_renders.h"

#include <algorithm>
#include <utility>

#include "decode/mars_decoder.h"
#include "output/png.h"
#include "render/demosaic.h"
#include "render/experimental.h"
#include "render/glitch.h"
#include "render/render_photo.h"
#include "render/style_params.h"

namespace velmora {
namespace {

// The photo's plane in pattern, demosaicked once for all the renders that
// start from it.
const DemosaickedPhoto& demosaicked(const PhotoToRender& photo, std::int32_t pattern, RenderScratch& scratch) {
  if (scratch.demosaicked_position != photo.position || scratch.demosaicked.pattern != pattern) {
    scratch.demosaicked_position.reset();
    demosaic_photo(photo.plane.samples, photo.plane.width, photo.plane.height, pattern, scratch.demosaicked);
    scratch.demosaicked_position = photo.position;
  }
  return scratch.demosaicked;
}

void render_into(const PhotoToRender& photo, std::int32_t pattern, std::int32_t style, std::int32_t set,
                 RenderScratch& scratch) {
  render_demosaicked(photo.stored, demosaicked(photo, pattern, scratch), style, set, scratch.image);
}

RenderStep render_step(std::string label, std::int32_t pattern, std::int32_t style, std::int32_t set = kSetPlain) {
  return {false, [label = std::move(label), pattern, style, set](const PhotoToRender& photo, RenderScratch& scratch,
                                                                 StepOutput& out) {
            render_into(photo, pattern, style, set, scratch);
            encode_png(scratch.image, out.next_file(label).png);
          }};
}

// Each main style, each followed by its additional sets.
void plan_styles(const DownloadOptions& o, std::vector<RenderStep>& steps) {
  const std::pair<bool, std::int32_t> styles[] = {
      {o.restrained, kStyleRestrained}, {o.balanced, kStyleBalanced},  {o.expressive, kStyleExpressive},
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
    steps.push_back(render_step(style_name(style), o.bayer_pattern, style));
    for (const auto& [set_on, set] : sets) {
      if (set_on)
        steps.push_back(render_step(style_name(style) + "-" + additional_set_name(set), o.bayer_pattern, style, set));
    }
  }
}

// One balanced rendering, not itself written, and each effect applied to it.
RenderStep extreme_step(std::int32_t pattern) {
  return {false, [pattern](const PhotoToRender& photo, RenderScratch& scratch, StepOutput& out) {
            render_into(photo, pattern, kStyleBalanced, kSetPlain, scratch);
            for (std::int32_t effect = kGlitchScanlineShear; effect <= kGlitchDigitalStorm; ++effect) {
              const ExperimentalRender extreme = extreme_render(effect, pattern);
              render_glitch(scratch.image, extreme.glitch_effect, scratch.effect);
              encode_png(scratch.effect, out.next_file(extreme.label).png);
            }
          }};
}

// Each decoder variant reads the stream differently and may well not decode
// at all. Both renders of a variant share its decode, so a failed decode
// makes neither.
void plan_decoder_variants(std::vector<RenderStep>& steps) {
  const std::vector<ExperimentalRender> renders = fun_variant_renders();
  for (std::size_t first = 0; first < renders.size();) {
    std::size_t end = first;
    while (end < renders.size() && renders[end].decoder_variant == renders[first].decoder_variant) ++end;
    std::vector<ExperimentalRender> group(renders.begin() + static_cast<std::ptrdiff_t>(first),
                                          renders.begin() + static_cast<std::ptrdiff_t>(end));
    steps.push_back(
        {true, [group = std::move(group)](const PhotoToRender& photo, RenderScratch& scratch, StepOutput& out) {
           decode_raw_photo(photo.stored, photo.plane.width, photo.plane.height, group.front().always_compressed,
                            group.front().decoder_variant, scratch.plane);
           for (const ExperimentalRender& r : group) {
             render_photo(photo.stored, scratch.plane, r.pattern, r.style, kSetPlain, scratch.image);
             encode_png(scratch.image, out.next_file(r.label).png);
           }
         }});
    first = end;
  }
}

}  // namespace

RenderedFile& StepOutput::next_file(const std::string& label) {
  if (count == files.size()) files.emplace_back();
  RenderedFile& file = files[count++];
  file.label = label;
  return file;
}

std::vector<RenderStep> plan_renders(const DownloadOptions& o, bool compressed) {
  std::vector<RenderStep> steps;
  plan_styles(o, steps);
  if (o.baseline_render) steps.push_back(render_step("baseline", o.bayer_pattern, kStyleBaseline));
  if (o.historical_mars) steps.push_back(render_step("historical-mars", o.bayer_pattern, kStyleMarsHistorical));
  if (o.all_bayer_patterns) {
    for (std::int32_t pattern : {kPatternBggr, kPatternRggb, kPatternGrbg, kPatternGbrg}) {
      const ExperimentalRender r = bayer_render(pattern);
      steps.push_back(render_step(r.label, r.pattern, r.style));
    }
  }
  if (o.extreme_glitch) steps.push_back(extreme_step(o.bayer_pattern));
  if (o.experimental) {
    const std::vector<ExperimentalRender> fun = fun_pattern_renders();
    // The first uses the photo as stored whatever its compression; the other
    // pattern and style renders are for uncompressed photos only.
    const std::size_t count = compressed ? 1 : fun.size();
    for (std::size_t k = 0; k < count; ++k) steps.push_back(render_step(fun[k].label, fun[k].pattern, fun[k].style));
    if (compressed) plan_decoder_variants(steps);
  }
  return steps;
}

unsigned default_render_helpers() {
  const unsigned processors = std::thread::hardware_concurrency();
  return processors > 1 ? processors - 1 : 0;
}

RenderCrew::RenderCrew(unsigned helpers) : slots_(2 * (helpers + 1)) {
  for (unsigned i = 0; i < helpers; ++i) helpers_.emplace_back([this] { helper_loop(); });
}

RenderCrew::~RenderCrew() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
}

bool RenderCrew::can_claim() const {
  return steps_ != nullptr && !dropped_ && next_claim_ < steps_->size() && next_claim_ < next_take_ + slots_.size();
}

void RenderCrew::compute_next(std::unique_lock<std::mutex>& lock, RenderScratch& scratch) {
  const std::size_t k = next_claim_++;
  const RenderStep& step = (*steps_)[k];
  const PhotoToRender& photo = *photo_;
  Slot& slot = slots_[k % slots_.size()];
  ++working_;
  lock.unlock();
  StepOutput& out = slot.output;
  out.count = 0;
  out.error = nullptr;
  try {
    step.run(photo, scratch, out);
  } catch (...) {
    out.error = std::current_exception();
  }
  lock.lock();
  --working_;
  slot.ready = true;
  changed_.notify_all();
}

void RenderCrew::helper_loop() {
  RenderScratch scratch;
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    changed_.wait(lock, [this] { return stopping_ || can_claim(); });
    if (stopping_) return;
    compute_next(lock, scratch);
  }
}

void RenderCrew::run(const PhotoToRender& photo, const std::vector<RenderStep>& steps,
                     const std::function<void(const RenderStep&, const StepOutput&)>& take) {
  std::unique_lock<std::mutex> lock(mutex_);
  photo_ = &photo;
  steps_ = &steps;
  next_claim_ = next_take_ = 0;
  dropped_ = false;
  for (Slot& slot : slots_) slot.ready = false;
  changed_.notify_all();

  // Lets go of the photo once no helper works on it, also when take throws.
  struct Release {
    RenderCrew& crew;
    std::unique_lock<std::mutex>& lock;
    ~Release() {
      if (!lock.owns_lock()) lock.lock();
      crew.dropped_ = true;
      crew.changed_.wait(lock, [this] { return crew.working_ == 0; });
      crew.photo_ = nullptr;
      crew.steps_ = nullptr;
    }
  } release{*this, lock};

  for (; next_take_ < steps.size(); ++next_take_) {
    Slot& slot = slots_[next_take_ % slots_.size()];
    while (!slot.ready) {
      if (can_claim()) {
        compute_next(lock, own_scratch_);
      } else {
        changed_.wait(lock);
      }
    }
    lock.unlock();
    take(steps[next_take_], slot.output);
    lock.lock();
    slot.ready = false;
    changed_.notify_all();
  }
}

}  // namespace velmora
