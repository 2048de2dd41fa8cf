// Rendering one decoded 640 x 480 photo: each output style, the baseline
// demosaic against OpenCV's bilinear Bayer conversion, and the whole set of
// 46 images a download makes of one compressed photo with every render
// option on, encoded as PNG in memory on one core.
#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <exception>
#include <vector>

#include "bench_photo.h"
#include "decode/mars_decoder.h"
#include "ops/photo_renders.h"
#include "output/png.h"
#include "render/demosaic.h"
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

// Into an image that already exists, as every render of a download does.
void BM_DemosaicBaseline(benchmark::State& state) {
  const auto& raw = plane_as_raw();
  RgbImage image;
  for (auto _ : state) {
    demosaic_baseline(raw, kWidth, kHeight, kPatternBggr, image);
    benchmark::DoNotOptimize(image.pixels.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_DemosaicBaseline);

// OpenCV's bilinear demosaic into an image that already exists, on one
// thread like ours.
void BM_OpenCvBayerBilinear(benchmark::State& state) {
  cv::setNumThreads(1);
  const cv::Mat bayer(kHeight, kWidth, CV_8UC1, const_cast<std::uint8_t*>(decoded_plane().samples.data()));
  cv::Mat rgb;
  for (auto _ : state) {
    cv::cvtColor(bayer, rgb, cv::COLOR_BayerBG2RGB);
    benchmark::DoNotOptimize(rgb.data);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_OpenCvBayerBilinear);

// One photo's renderings in the download's order, every option on, through
// the download job's own plan on this thread alone, encoded in memory.
DownloadOptions every_render() {
  DownloadOptions o;
  for (const auto flag : kDownloadFlags) o.*flag = true;
  return o;
}

// Each run counts as another photo, so nothing carries over from the last.
int render_full_set(const std::vector<std::uint8_t>& stored, RenderCrew& crew, BayerPlane& plane) {
  static std::size_t position = 0;
  int images = 0;
  decode_raw_photo(stored, kWidth, kHeight, true, 0, plane);
  static const std::vector<RenderStep> steps = plan_renders(every_render(), true);
  crew.run(PhotoToRender{stored, plane, position++}, steps, [&](const RenderStep&, const StepOutput& out) {
    for (std::size_t k = 0; k < out.count; ++k) benchmark::DoNotOptimize(out.files[k].png.data());
    images += static_cast<int>(out.count);
  });
  return images;
}

void BM_FullRenderingSet(benchmark::State& state) {
  const auto& stored = stored_photo();
  RenderCrew crew(0);
  BayerPlane plane;
  int images = 0;
  for (auto _ : state) images = render_full_set(stored, crew, plane);
  state.counters["images"] = images;
}
BENCHMARK(BM_FullRenderingSet)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora::bench
