// Decoding one compressed 640 x 480 photo from its stored bytes.
#include <benchmark/benchmark.h>

#include "bench_photo.h"
#include "decode/mars_decoder.h"

namespace velmora::bench {
namespace {

void BM_DecodeMars640x480(benchmark::State& state) {
  const auto& stored = stored_photo();
  for (auto _ : state) {
    BayerPlane plane = decode_raw_photo(stored, kWidth, kHeight, true, 0);
    benchmark::DoNotOptimize(plane.samples.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth * kHeight);
  state.counters["stored_bytes"] = static_cast<double>(stored.size());
}
BENCHMARK(BM_DecodeMars640x480);

}  // namespace
}  // namespace velmora::bench
