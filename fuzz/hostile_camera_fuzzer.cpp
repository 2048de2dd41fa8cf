// A hostile camera driven through a refresh, a preview and a download. The
// input sets the camera's behaviour, its directory and photos, and then,
// transfer by transfer, whether the transfer fails (with which Windows error),
// comes back short, stalls, unplugs the camera, or carries other bytes.
//
// Input: 8 setting bytes (the first: bit 0 the jam stays, 1 the simulator's
// built-in photos, 2 two photos downloaded, 3-5 transfer, metadata and USB log
// files, 6 a render), a 16-bit directory length and the directory bytes, a
// 16-bit photo length and the photo bytes (stored at every location, unless
// built-in photos are asked for), then one action byte per transfer (a
// transfer without one passes).

#include <algorithm>
#include <cstring>
#include <optional>

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
using test::Operation;

namespace {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::vector<std::uint8_t> bytes(std::size_t n) {
    n = std::min(n, size_ - at_);
    std::vector<std::uint8_t> out(data_ + at_, data_ + at_ + n);
    at_ += n;
    return out;
  }
  std::size_t u16() { return byte() | (std::size_t{byte()} << 8); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

constexpr std::uint32_t kErrorCodes[] = {31, 121, 1167, 2, 6, 995, 87, 22};

// The simulator with the input deciding each transfer's fate: faults through
// the simulator's own hook, other bytes by rewriting what it answered.
class HostileCamera final : public UsbApi {
 public:
  HostileCamera(sim::SimulatedCameraConfig config, Clock& clock, Input& input)
      : input_(input), camera_(hooked(std::move(config), this), clock) {}

  const sim::SimulatedCamera& camera() const { return camera_; }

  OsHandle create_file(const std::u16string& path) override { return camera_.create_file(path); }
  bool close_handle(OsHandle file) override { return camera_.close_handle(file); }
  bool initialize(OsHandle file, WinUsbHandle* handle) override { return camera_.initialize(file, handle); }
  bool free(WinUsbHandle handle) override { return camera_.free(handle); }
  bool get_descriptor(WinUsbHandle handle, std::uint8_t type, std::uint8_t index, std::uint16_t language,
                      std::uint8_t* buffer, std::uint32_t length, std::uint32_t* transferred) override {
    return camera_.get_descriptor(handle, type, index, language, buffer, length, transferred);
  }
  bool query_interface_settings(WinUsbHandle handle, std::uint8_t setting, UsbInterfaceDescriptor* d) override {
    return camera_.query_interface_settings(handle, setting, d);
  }
  bool query_pipe(WinUsbHandle handle, std::uint8_t setting, std::uint8_t index, PipeInformation* info) override {
    return camera_.query_pipe(handle, setting, index, info);
  }
  bool set_pipe_policy(WinUsbHandle handle, std::uint8_t pipe, std::uint32_t type, std::uint32_t length,
                       const void* value) override {
    return camera_.set_pipe_policy(handle, pipe, type, length, value);
  }
  bool write_pipe(WinUsbHandle handle, std::uint8_t pipe, const std::uint8_t* buffer, std::uint32_t length,
                  std::uint32_t* transferred) override {
    action_ = input_.byte();
    length_ = length;
    return camera_.write_pipe(handle, pipe, buffer, length, transferred);
  }
  bool read_pipe(WinUsbHandle handle, std::uint8_t pipe, std::uint8_t* buffer, std::uint32_t length,
                 std::uint32_t* transferred) override {
    action_ = input_.byte();
    length_ = length;
    const int kind = action_ >> 5;
    const bool ok = camera_.read_pipe(handle, pipe, buffer, length, transferred);
    if (ok && *transferred > 0 && kind == 6) buffer[0] = input_.byte();  // another status or first byte
    if (ok && *transferred > 0 && kind == 7) buffer[(input_.byte() * 33u) % *transferred] ^= input_.byte();
    return ok;
  }

 private:
  static sim::SimulatedCameraConfig hooked(sim::SimulatedCameraConfig config, HostileCamera* self) {
    config.fault = [self](const sim::TransferContext&) { return self->take_fault(); };
    return config;
  }

  std::optional<sim::FaultAction> take_fault() {
    using Kind = sim::FaultAction::Kind;
    const std::uint8_t a = action_;
    switch (a >> 5) {
      case 3: return sim::FaultAction{Kind::Fail, kErrorCodes[a & 7]};
      // Really short: a transfer reported whole was delivered whole.
      case 4: return sim::FaultAction{Kind::Short, 0, (a & 15u) * ((a & 16) ? 512u : 1u) % std::max(length_, 1u)};
      case 5: return (a & 1) ? sim::FaultAction{Kind::Unplug} : sim::FaultAction{Kind::Fail, 121};
      default: return std::nullopt;
    }
  }

  Input& input_;
  std::uint8_t action_ = 0;
  std::uint32_t length_ = 0;
  sim::SimulatedCamera camera_;
};

const sim::CameraImage& builtin_image() {
  static const sim::CameraImage image = sim::builtin_camera_image();
  return image;
}

// Ends with a result or one of the operation's failure texts, the device closed.
template <typename Body>
bool run_checked(Operation operation, const HostileCamera& usb, Body body) {
  bool ok = true;
  try {
    body();
  } catch (const Failure& failure) {
    require(test::failure_text_problem(operation, failure.what()));
    ok = false;
  }
  require(test::camera_problem(usb.camera()));
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static test::TempDir temp;
  Input input(data, size);
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
    const auto& builtin = builtin_image().photos;
    const auto it = builtin.find(entry.location());
    config.image.photos[entry.location()] = !(flags & 2) ? photo : it != builtin.end() ? it->second : photo;
  }

  VirtualClock clock;
  HostileCamera usb(std::move(config), clock, input);
  sim::SimulatedDeviceTree tree(sim::device_tree_scenario(sim::DeviceTreeScenario::CameraOnWinUsb));
  const CameraEnvironment env{usb, tree, clock};
  std::vector<std::string> lines;
  const ProgressFn progress = [&lines](const std::u16string& line) { lines.push_back(utf16_to_utf8(line)); };

  ScanData snapshot;
  if (!run_checked(Operation::Refresh, usb, [&] { snapshot = scan_camera(env, progress); })) return 0;
  const std::size_t entries = snapshot.entries.size();
  run_checked(Operation::Preview, usb,
              [&] { render_preview(env, snapshot, choice % (entries + 1), (choice >> 4) & 3, progress); });

  // A download of up to two photos into a folder that already holds the first one's name.
  std::filesystem::remove_all(temp.path() / "out");
  std::filesystem::create_directories(temp.path() / "out");
  if (entries == 0) return 0;
  std::vector<std::uint64_t> indices{choice % entries};
  if (flags & 4) indices.push_back((choice + 1u) % entries);
  FixedLocalTime time("250314093005", "2025-03-14");
  const std::string taken = download_stem(indices[0], snapshot.entries[indices[0]]) + "_250314093005.velmoraraw";
  const std::uint8_t sentinel[] = {'k', 'e', 'e', 'p'};
  write_new_file(temp.path() / "out" / taken, sentinel);
  const auto before = test::folder_contents(temp.path() / "out");
  // Renders have their own fuzzer; here they only slow the camera's side down.
  DownloadOptions options;
  options.restrained = options.expressive = false;
  options.balanced = flags & 64;
  options.save_usb_transfer = flags & 8;
  options.save_metadata = flags & 16;
  options.save_usb_log = flags & 32;
  options.destination = (temp.path() / "out").u16string();
  test::WatchedFiles files;
  lines.clear();
  run_checked(Operation::Download, usb, [&] {
    const DownloadResult result = run_download(env, snapshot, indices, options, progress, files, time);
    require(test::download_problem(result, indices.size(), lines));
  });
  require(files.problem());
  require(test::folder_problem(before, test::folder_contents(temp.path() / "out")));
  return 0;
}
