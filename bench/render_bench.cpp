// Rendering one decoded 640 x 480 photo: each output style, the baseline
// demosaic against OpenCV's bilinear Bayer conversion, and the whole set of
// 46 images a download makes of one compressed photo with every render
// option on, encoded as PNG in memory.
#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <exception>
#include <vector>

#include "bench_photo.h"
#include "decode/mars_decoder.h"
#include "output/png.h"
#include "render/demosaic.h"
#include "render/experimental.h"
#include "render/glitch.h"
#include "render/render_photo.h"
#include "render/style_params.h"

namespace velmora::bench {
namespace {

void BM_RenderStyle(benchmark::State& state) {
  const auto style = static_cast<std::int32_t>(state.range(0));
  state.SetLabel(style_name(style));
  const auto& stored = stored_photo();
  const BayerPlane& plane = decoded_plane();
  try {
    for (auto _ : state) {
      RgbImage image = render_photo(stored, plane, kPatternBggr, style, kSetPlain);
      benchmark::DoNotOptimize(image.pixels.data());
    }
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_RenderStyle)->DenseRange(kStyleRestrained, kStyleGrayworld);

// The uncompressed raw layout demosaic_baseline reads: header, then samples.
const std::vector<std::uint8_t>& plane_as_raw() {
  static const std::vector<std::uint8_t> raw = [] {
    std::vector<std::uint8_t> bytes(stored_photo().begin(), stored_photo().begin() + kRawHeaderBytes);
    bytes.insert(bytes.end(), decoded_plane().samples.begin(), decoded_plane().samples.end());
    return bytes;
  }();
  return raw;
}

void BM_DemosaicBaseline(benchmark::State& state) {
  const auto& raw = plane_as_raw();
  for (auto _ : state) {
    RgbImage image = demosaic_baseline(raw, kWidth, kHeight, kPatternBggr);
    benchmark::DoNotOptimize(image.pixels.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_DemosaicBaseline);

// OpenCV's bilinear demosaic into a new image, on one thread like ours.
void BM_OpenCvBayerBilinear(benchmark::State& state) {
  cv::setNumThreads(1);
  const cv::Mat bayer(kHeight, kWidth, CV_8UC1, const_cast<std::uint8_t*>(decoded_plane().samples.data()));
  for (auto _ : state) {
    cv::Mat rgb;
    cv::cvtColor(bayer, rgb, cv::COLOR_BayerBG2RGB);
    benchmark::DoNotOptimize(rgb.data);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_OpenCvBayerBilinear);

void keep(std::vector<std::uint8_t> png, int& images) {
  benchmark::DoNotOptimize(png.data());
  ++images;
}

// One photo's renderings in the download's order, every option on.
int render_full_set(const std::vector<std::uint8_t>& stored) {
  int images = 0;
  const BayerPlane plane = decode_raw_photo(stored, kWidth, kHeight, true, 0);
  const auto save = [&](const RgbImage& image) { keep(encode_png(image), images); };
  for (std::int32_t style : {kStyleRestrained, kStyleBalanced, kStyleExpressive, kStyleProc20, kStyleProc23}) {
    for (std::int32_t set = kSetPlain; set <= kSetStrongerDestripe; ++set) {
      save(render_photo(stored, plane, kPatternBggr, style, set));
    }
  }
  save(render_photo(stored, plane, kPatternBggr, kStyleBaseline, kSetPlain));
  save(render_photo(stored, plane, kPatternBggr, kStyleMarsHistorical, kSetPlain));
  for (std::int32_t pattern : {kPatternBggr, kPatternRggb, kPatternGrbg, kPatternGbrg}) {
    const ExperimentalRender r = bayer_render(pattern);
    save(render_photo(stored, plane, r.pattern, r.style, kSetPlain));
  }
  const RgbImage balanced = render_photo(stored, plane, kPatternBggr, kStyleBalanced, kSetPlain);
  for (std::int32_t effect = kGlitchScanlineShear; effect <= kGlitchDigitalStorm; ++effect) {
    save(render_glitch(balanced, effect));
  }
  const ExperimentalRender fun = fun_pattern_renders().front();
  save(render_photo(stored, plane, fun.pattern, fun.style, kSetPlain));
  for (const ExperimentalRender& r : fun_variant_renders()) {
    try {
      save(render_experimental(stored, kWidth, kHeight, true, r));
    } catch (const std::exception&) {
      // A variant that does not decode is skipped, as in a download.
    }
  }
  return images;
}

void BM_FullRenderingSet(benchmark::State& state) {
  const auto& stored = stored_photo();
  int images = 0;
  for (auto _ : state) images = render_full_set(stored);
  state.counters["images"] = images;
}
BENCHMARK(BM_FullRenderingSet)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora::bench
