// Every transport call against the simulated camera: the message it raises, the records it leaves, what it asked.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "link/transport.h"
#include "platform/last_error.h"
#include "support/link_digest.h"
#include "support/sim_fixture.h"

namespace velmora {
namespace {

using sim::FaultAction;
using sim::SimulatedCameraConfig;
using test::failure_of;
using test::SimRig;
using Config = std::function<void(SimulatedCameraConfig&)>;
using Call = std::function<void(CameraSession&, TransferLog&)>;

// Records as "sequence@ms DIR endpoint requested/moved ok|error label".
std::string describe(const TransferLog& log) {
  std::string text;
  for (const TransferRecord& r : log) {
    text += std::to_string(r.sequence) + "@" + std::to_string(r.elapsed_ms) + " " + r.direction + " " +
            hex_bytes(std::span(&r.endpoint, 1)) + " " + std::to_string(r.requested) + "/" +
            std::to_string(r.data.size()) + " " + (r.ok ? "ok" : std::to_string(r.error_code)) + " " + r.label + "; ";
  }
  return text;
}

Config fault_on(std::uint64_t transfer, FaultAction action) {
  return [=](SimulatedCameraConfig& c) {
    c.fault = [=](const sim::TransferContext& t) {
      return t.transfer == transfer ? std::optional(action) : std::nullopt;
    };
  };
}

void write(CameraSession& s, TransferLog& log, std::size_t n, const std::string& label = "w") {
  bulk_write(s, 0x04, std::vector<std::uint8_t>(n, n == 1 ? 0x21 : 0x19), log, 3, label);
}

Call status(std::uint64_t n, bool exact, const std::string& label) {
  return [=](CameraSession& s, TransferLog& log) { write(s, log, 1), bulk_read(s, 0x83, n, exact, log, 7, label); };
}
Call require(std::uint8_t address) {
  return [=](CameraSession& s, TransferLog&) { require_endpoint(s, address, 2); };
}
Call write_of(std::size_t n) {
  return [=](CameraSession& s, TransferLog& log) { write(s, log, n); };
}
Call read_of(std::uint64_t n) {
  return [=](CameraSession& s, TransferLog& log) { bulk_read(s, 0x83, n, true, log, 0, ""); };
}

// Path, ids, USB and device versions, configurations, interface class, then address/type/packet size per pipe.
const Call kDescriptors = [](CameraSession& s, TransferLog&) {
  const CameraDescriptors d = query_descriptors(s);
  std::string text(99, 0);
  text.resize(std::snprintf(text.data(), text.size(), "%s %04x:%04x %x %x %d %x",
                            d.opened_path == sim::kSimulatedDevicePath ? "sim" : "?", d.vid, d.pid, d.bcd_usb,
                            d.bcd_device, d.num_configurations, d.interface_class));
  for (const EndpointInfo& e : d.endpoints) {
    text +=
        " " + std::to_string(e.address) + "/" + std::to_string(e.pipe_type) + "/" + std::to_string(e.max_packet_size);
  }
  throw Failure(text);
};
struct CallCase {
  const char* name;
  Config config;
  Call call;  // on the opened session; null: the opening itself
};

TEST(Transport, CallsMessagesAndRecords) {
  const CallCase cases[] = {
      {"open fails", [](auto& c) { c.create_file_error = 4294967295u; }, nullptr},
      {"initialise fails, close clobbers the error",
       [](auto& c) { c.initialize_error = 31, c.close_handle_sets_error = 6; }, nullptr},
      {"vendor 093B", [](auto& c) { c.vid = 0x093B; }, kDescriptors},
      {"product 010D", [](auto& c) { c.pid = 0x010D; }, kDescriptors},
      {"camera", nullptr, kDescriptors},
      {"product 010F", [](auto& c) { c.pid = 0x010F; }, kDescriptors},
      {"short descriptor", [](auto& c) { c.device_descriptor_length = 17; }, kDescriptors},
      {"descriptor fails", [](auto& c) { c.get_descriptor_error = 1167; }, kDescriptors},
      {"interface query fails", [](auto& c) { c.interface_settings_error = 31; }, kDescriptors},
      {"bulk pipe present", nullptr, require(0x82)},
      {"interrupt pipe", [](auto& c) { c.endpoints[2].pipe_type = 3; }, require(0x82)},
      {"pipe missing", [](auto& c) { c.endpoints.pop_back(); }, require(0x82)},
      {"direction matters", [](auto& c) { c.endpoints = {{0x02}}; }, require(0x82)},
      {"failed pipe query skipped", [](auto& c) { c.endpoints[1].query_fails = true; }, require(0x83)},
      {"forty pipes: thirty-two listed, all searched",
       [](auto& c) {
         c.endpoints.insert(c.endpoints.begin(), 37, sim::SimulatedEndpoint{0x01, 3});
       },
       [](auto& s, auto& log) { require(0x82)(s, log), kDescriptors(s, log); }},
      {"empty write", nullptr, write_of(0)},
      {"17-byte write", nullptr, write_of(17)},
      {"16-byte write", nullptr, write_of(16)},
      {"empty read", nullptr, read_of(0)},
      {"8193-byte read", nullptr, read_of(8193)},
      {"2^33-byte read", nullptr, read_of(1ull << 33)},
      {"8192-byte inexact read", nullptr, status(8192, false, "r")},
      {"short exact read", fault_on(2, {FaultAction::Kind::Short, 0, 10}), status(16, true, "status")},
      {"short exact read, no label", fault_on(2, {FaultAction::Kind::Short, 0, 10}), status(16, true, "")},
      {"read times out", nullptr,
       [](auto& s, auto& log) { set_pipe_timeout(s, 0x83, 1500), bulk_read(s, 0x83, 16, true, log, 0, "answer"); }},
      {"write fails", fault_on(1, {FaultAction::Kind::Fail, 1167}), [](auto& s, auto& log) { write(s, log, 2); }},
      {"short write", fault_on(2, {FaultAction::Kind::Short, 0, 1}),
       [](auto& s, auto& log) { write(s, log, 2), write(s, log, 2, "start"); }},
  };
  std::string text;
  for (const CallCase& c : cases) {
    SimulatedCameraConfig config;
    if (c.config) c.config(config);
    SimRig rig(config);
    TransferLog log;
    const std::string message = failure_of([&] {
      CameraSession session = rig.open();
      if (c.call) c.call(session, log);
    });
    const std::string record = describe(log) + "| " + std::to_string(rig.camera->pipe_transfers()) + " " +
                               std::to_string(rig.camera->query_pipe_calls()) + " " +
                               std::to_string(rig.clock.slept_ms());
    text += c.name + (": " + message) + " " + record + "\n";
    EXPECT_EQ(rig.camera->open_handles(), 0) << c.name << ": every handle closed";
  }
  EXPECT_EQ(test::digest(text), 0x4edd600c2d8c3ee2u) << text;
}

TEST(Transport, SessionOwnership) {
  SimRig rig;
  CameraSession first = rig.open(), second;
  second = std::move(first);
  EXPECT_FALSE(first.is_open());
  close_camera(first);
  EXPECT_EQ(rig.camera->open_handles(), 2);
  second = CameraSession();  // the target's own handles go first
  EXPECT_EQ(rig.camera->open_handles(), 0);
}

// A Sleep that wakes up early, as Windows' may with a coarse timer, on a counter of an odd frequency (ACPI PM timer).
class EarlyWakeClock : public VirtualClock {
 public:
  void sleep(std::uint32_t ms) override {
    requests += std::to_string(ms) + " ", counter += ms * 3'579'545LL / 2000 + 1;
  }
  std::int64_t performance_counter() override { return counter; }
  std::int64_t performance_frequency() override { return 3'579'545; }
  std::string requests;
  std::int64_t counter = 3'579'545LL * 1'000'000'000;  // a billion seconds of uptime
};

// Never early (the time still missing is slept again), at most a day per call, on whole milliseconds.
TEST(PacedSleep, NeverEarlyAtMostOneDayPerCallOnWholeMilliseconds) {
  EarlyWakeClock early;
  const OperationClock operation = OperationClock::start(early);
  paced_sleep(early, 10);
  EXPECT_EQ(early.requests + std::to_string(operation.elapsed_ms()), "10 5 3 1 1 10");
  EXPECT_EQ(early.now_ns() % 1'000'000'000'000'000'000ull, 10'000'433ull);
  VirtualClock clock;
  paced_sleep(clock, 0), paced_sleep(clock, -5);
  EXPECT_EQ(clock.sleep_calls(), 0u);
  paced_sleep(clock, 3LL * 86'400'000 + 1);
  EXPECT_EQ(clock.sleep_calls(), 4u);
  const std::uint64_t start = system_clock().now_ns();
  paced_sleep(system_clock(), 2);
  EXPECT_GE(system_clock().now_ns() - start, 2'000'000u);
}

}  // namespace
}  // namespace velmora
