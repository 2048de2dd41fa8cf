// A hostile camera driven through a refresh, a preview and a download.
// Input: 8 setting bytes (the first: bit 0 the jam stays, 1 the simulator's
// built-in photos, 2 two photos downloaded, 3-5 transfer, metadata and USB log
// files, 6 a render), the directory and the photo stored at every location
// (each a 16-bit length and the bytes), then one action byte per transfer (a
// failure with a Windows error, a short transfer or an unplug; or none), and
// for each directory read a 16-bit position and the bits to flip there.

#include "base/failure.h"
#include "base/text.h"
#include "fuzz/harness.h"
#include "ops/download.h"
#include "ops/preview.h"
#include "ops/refresh.h"
#include "output/new_file.h"
#include "sim/scenarios.h"
#include "support/invariants.h"
#include "support/temp_dir.h"

using namespace velmora;
using fuzzing::require;

namespace {

constexpr std::uint32_t kErrorCodes[] = {31, 121, 1167, 2, 6, 995, 87, 22};

std::optional<sim::FaultAction> fault_of(std::uint8_t action) {
  using Kind = sim::FaultAction::Kind;
  switch (action >> 5) {
    case 3: return sim::FaultAction{Kind::Fail, kErrorCodes[action & 7]};
    case 4: return sim::FaultAction{Kind::Short, 0, (action & 15u) * ((action & 16) ? 512u : 1u)};
    case 5: return (action & 1) ? sim::FaultAction{Kind::Unplug} : sim::FaultAction{Kind::Fail, 121};
    default: return std::nullopt;
  }
}

// Ends with a result or one of the operation's failure texts, the device closed.
template <typename Body>
bool run_checked(const sim::SimulatedCamera& camera, Body body) {
  bool ok = true;
  try {
    body();
  } catch (const Failure& failure) {
    require(test::failure_text_problem(failure.what()));
    ok = false;
  }
  require(test::camera_problem(camera));
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static test::TempDir temp;
  static const sim::CameraImage builtin = sim::builtin_camera_image();
  fuzzing::Input input(data, size);
  const std::uint8_t flags = input.byte();
  sim::SimulatedCameraConfig config;
  config.jam_clear_works = !(flags & 1);
  config.ack_after_polls = input.byte() % 6;
  const std::uint8_t get_data_polls = input.byte();
  config.get_data_ack_after_polls = get_data_polls == 0xFF ? -1 : get_data_polls % 6;
  config.unacknowledged_status = input.byte();
  config.ordinary_status = input.byte();
  const std::uint8_t jams = input.byte();
  config.jam_at = [jams](const sim::SequenceContext& s) {
    return s.total_sequence <= 8 && (jams >> (s.total_sequence - 1)) & 1;
  };
  config.ack_after_ms = input.byte() * 12u;
  const std::uint8_t choice = input.byte();
  config.image.directory = input.bytes(input.u16());
  config.image.directory.resize(8192, 0);
  const std::vector<std::uint8_t> photo = input.bytes(input.u16());
  for (const PhotoEntry& entry : parse_pat(config.image.directory)) {
    const auto it = builtin.photos.find(entry.location());
    config.image.photos[entry.location()] = (flags & 2) && it != builtin.photos.end() ? it->second : photo;
  }
  config.fault = [&input](const sim::TransferContext&) { return fault_of(input.byte()); };
  config.damage_directory = [&input](int, std::vector<std::uint8_t>& dir) {
    if (!dir.empty()) dir[input.u16() % dir.size()] ^= input.byte();
  };

  VirtualClock clock;
  sim::SimulatedCamera usb(std::move(config), clock);
  sim::SimulatedDeviceTree tree(sim::device_tree_scenario(sim::DeviceTreeScenario::CameraOnWinUsb));
  const CameraEnvironment env{usb, tree, clock};
  std::vector<std::string> lines;
  const ProgressFn progress = [&lines](const std::u16string& line) { lines.push_back(utf16_to_utf8(line)); };

  ScanData snapshot;
  if (!run_checked(usb, [&] { snapshot = scan_camera(env, progress); })) return 0;
  const std::size_t entries = snapshot.entries.size();
  run_checked(usb, [&] { render_preview(env, snapshot, choice % (entries + 1), (choice >> 4) & 3, progress); });

  // A download of up to two photos into a folder that already holds the first one's name.
  const auto out = temp.path() / "out";
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out);
  if (entries == 0) return 0;
  std::vector<std::uint64_t> indices{choice % entries};
  if (flags & 4) indices.push_back((choice + 1u) % entries);
  FixedLocalTime time("250314093005", "2025-03-14");
  const std::uint8_t sentinel[] = {'k', 'e', 'e', 'p'};
  write_new_file(out / (download_stem(indices[0], snapshot.entries[indices[0]]) + "_250314093005.velmoraraw"),
                 sentinel);
  const auto before = test::folder_contents(out);
  DownloadOptions options;  // renders have their own fuzzer
  options.restrained = options.expressive = false;
  options.balanced = flags & 64;
  options.save_usb_transfer = flags & 8;
  options.save_metadata = flags & 16;
  options.save_usb_log = flags & 32;
  options.destination = out.u16string();
  test::FaultyFileApi files;  // no faults: every call watched
  lines.clear();
  run_checked(usb, [&] {
    const DownloadResult result = run_download(env, snapshot, indices, options, progress, files, time);
    require(test::download_problem(result, indices.size(), lines));
  });
  require(files.problem());
  require(test::folder_problem(before, test::folder_contents(out)));
  return 0;
}
