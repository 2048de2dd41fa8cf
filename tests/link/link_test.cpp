// The link to the camera: device trees and what discovery makes of them (interfaces, presence, decision, how much of
// the tree it read); every transport call against the simulated camera (message, records, what it asked).
#include "link/discovery.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <vector>

#include "base/text.h"
#include "link/transport.h"
#include "platform/last_error.h"
#include "sim/simulated_device_tree.h"
#include "support/digest.h"
#include "support/sim_fixture.h"

#ifdef VELMORA_LIBUSB
#include "platform/libusb_api.h"
#endif

namespace velmora {
namespace {

using sim::DeviceTreeScenario;
using sim::FaultAction;
using sim::SimulatedCameraConfig;
using sim::SimulatedDevice;
using test::SimRig;
using Tree = sim::SimulatedDeviceTreeConfig;
using Config = std::function<void(SimulatedCameraConfig&)>;
using Call = std::function<void(CameraSession&, TransferLog&)>;

const std::u16string kSuffix = u"#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

SimulatedDevice dev(std::u16string id, std::function<void(SimulatedDevice&)> change = nullptr) {
  SimulatedDevice d;
  d.instance_id = std::move(id), d.description = u"Dual-Mode Digital Camera", d.driver_service = u"WinUSB";
  if (change) change(d);
  return d;
}

Tree devices(std::vector<SimulatedDevice> list, std::vector<std::u16string> paths = {}) {
  Tree tree;
  for (std::size_t i = 0; i < list.size(); ++i)
    sim::add_device(tree, list[i], i < paths.size() ? std::optional(u"\\\\?\\" + paths[i] + kSuffix) : std::nullopt);
  return tree;
}

Tree scenario(DeviceTreeScenario which, std::function<void(Tree&)> change = nullptr) {
  Tree tree = sim::device_tree_scenario(which);
  if (change) change(tree);
  return tree;
}

std::string tail(const std::u16string& text, char16_t sep) { return utf16_to_utf8(text.substr(text.rfind(sep) + 1)); }

// The name's length and the service, unless they are the camera's usual ones.
std::string strings(const std::u16string& name, const std::u16string& service) {
  if (name == u"Dual-Mode Digital Camera" && service == u"WinUSB") return "";
  return " " + std::to_string(name.size()) + " " + utf16_to_utf8(service);
}

// "pid path-end id-end [strings], ... | presence [strings] | state | detail reads, enumerations, property reads".
std::string describe(const Tree& config) {
  sim::SimulatedDeviceTree tree(config);
  const auto interfaces = find_camera_interfaces(tree);
  const CameraPresence p = scan_camera_presence(tree);
  std::string text;
  for (const CameraInterfaceInfo& i : interfaces) {
    EXPECT_TRUE(i.device_path.starts_with(u"\\\\?\\") && i.device_path.ends_with(kSuffix));
    text += (i.vendor_id == 0x093A ? "" : "?") + std::string(i.product_id == 0x010E ? "0e " : "0f ") +
            tail(i.device_path.substr(0, i.device_path.size() - kSuffix.size()), u'#') + " " +
            tail(i.instance_id, u'\\') + strings(i.description, i.driver_service) + ", ";
  }
  text += p.present ? "| " + tail(p.instance_id, u'\\') + strings(p.display_name, p.driver_service) : "| absent";
  EXPECT_EQ(tree.open_sets(), 0u);
  return text + " | " + std::to_string(int(classify_camera_link(p, interfaces))) + " | " +
         std::to_string(tree.detail_reads()) + " " + std::to_string(tree.interface_enumerations()) + " " +
         std::to_string(tree.device_enumerations()) + " " + std::to_string(tree.property_reads());
}

TEST(Discovery, TreesToDecisions) {
  const auto damaged = [](std::function<void(sim::SimulatedInterface&)> damage) {
    return scenario(DeviceTreeScenario::TwoCameras, [=](Tree& t) { damage(t.interfaces[t.interfaces.size() - 2]); });
  };
  const auto no_id = [](SimulatedDevice& d) { d.instance_id_unreadable = true; };
  const auto no_strings = [](SimulatedDevice& d) { d.description.reset(), d.driver_service.reset(); };
  const auto named = [](std::optional<std::u16string> name, std::set<std::uint32_t> unreadable = {}) {
    return [=](SimulatedDevice& d) { d.friendly_name = name, d.unreadable_properties = unreadable; };
  };
  const std::set<std::uint32_t> description_and_service = {kSpdrpDeviceDesc, kSpdrpService};
  const auto hidden = [&](SimulatedDevice& d) { no_id(d), named({}, description_and_service)(d); };
  const SimulatedDevice failing = dev(u"ROOT\\SYSTEM\\0001", [](auto& d) { d.enum_error = kErrorGenFailure; });
  const std::u16string cam = u"USB\\VID_093A&PID_010E\\CAM", rel = u"USB\\VID_093A&PID_010F\\REL";
  const std::u16string e = u"usb#vid_093a&pid_010e#", f = u"usb#vid_093a&pid_010f#";
  // Paths alone name the camera here: ids in any case, 010E first, nothing but the exact pattern.
  std::vector<SimulatedDevice> others(10, dev(u"ROOT\\OTHER"));
  const Tree by_path =
      devices(others, {e + u"a", u"USB#Vid_093A&pId_010F#b", u"vid_093a&pid_010f vid_093a&pid_010e#c",
                       u"VID_093A&PID_010E#d", u"vid_093a&pid_010#e", u"vid_093a&pid_0110#f", u"vid_093b&pid_010e#g",
                       u"vid_093a_pid_010e#h", u"vid_093a&&pid_010e#i", u"#j"});
  const struct {
    const char* name;
    Tree tree;
  } cases[] = {
      {"no camera", scenario(DeviceTreeScenario::Empty)},
      {"camera on WinUSB", scenario(DeviceTreeScenario::CameraOnWinUsb)},
      {"camera without driver", scenario(DeviceTreeScenario::CameraWithoutDriver)},
      {"only the 010F variant", scenario(DeviceTreeScenario::RelatedVariantOnly)},
      {"two cameras: the walk stops at the first", scenario(DeviceTreeScenario::TwoCameras)},
      {"no device set", scenario(DeviceTreeScenario::CameraOnWinUsb, [](Tree& t) { t.class_devs_fails = true; })},
      {"no end of interfaces: gives up after a long run of failures",
       scenario(DeviceTreeScenario::CameraOnWinUsb, [](Tree& t) { t.interface_error_past_end = kErrorGenFailure; })},
      {"detail size 7", damaged([](auto& i) { i.reported_detail_size = 7; })},
      {"detail size 8, too small for the path", damaged([](auto& i) { i.reported_detail_size = 8; })},
      {"interface enumeration fails", damaged([](auto& i) { i.enum_error = kErrorInvalidData; })},
      {"camera ids in paths", by_path},
      {"paths and ids in any case; the path decides first",
       devices({dev(u"USB\\VID_093A&PID_010E\\A"), dev(u"USB\\VID_093A&PID_010F\\B"), dev(u"USB\\VID_093A&PID_010E\\C"),
                dev(u"USB\\VID_046D&PID_C077\\D")},
               {u"USB#VID_093A&PID_010E#A", u"usb#odd#b", f + u"c", u"usb#vid_046d&pid_c077#d"})},
      {"unreadable, unterminated and missing strings",
       devices({dev(u"USB\\VID_093A&PID_010E\\E", hidden), dev(u"USB\\VID_093A&PID_010E\\F", no_id),
                dev(u"USB\\VID_093A&PID_010E\\G", [](auto& d) { d.properties_unterminated = true; }),
                dev(u"USB\\VID_093A&PID_010E\\H", no_strings)},
               {e + u"e", u"usb#other#f", e + u"g", e + u"h"})},
      {"walk misses a 010F interface", devices({dev(rel, no_id)}, {f + u"rel"})},
      {"walk misses a 010E interface", devices({dev(cam, no_id)}, {e + u"cam"})},
      {"010E after 010F", devices({dev(rel), dev(cam)}, {f + u"rel", e + u"cam"})},
      {"skipped: a lower-case id, an unreadable id, an id longer than the buffer",
       devices({dev(u"usb\\vid_093a&pid_010e\\low"), dev(rel, no_id),
                dev(u"USB\\VID_093A&PID_010F\\" + std::u16string(1010, u'X')), dev(cam)})},
      {"id of exactly the pattern", devices({dev(u"VID_093A&PID_010E")})},
      {"enumeration failure ends the walk", devices({failing, dev(cam)})},
      {"friendly name first", devices({dev(cam, named(u"My Camera"))})},
      {"empty friendly name", devices({dev(cam, named(u""))})},
      {"no names at all", devices({dev(cam, no_strings)})},
  };
  std::string text;
  for (const auto& c : cases) {
    text += c.name + (": " + describe(c.tree)) + "\n";
  }
  EXPECT_EQ(test::digest(text), 0xf1d0b59c0b9c7d18u) << text;
}

// The simulated tree ignores the present-only flag; the calls must still ask for it.
class MockDeviceTree : public DeviceTreeApi {
 public:
  MOCK_METHOD(DevInfoSet, get_class_devs, (const Guid*, std::uint32_t), (override));
  MOCK_METHOD(bool, enum_device_interfaces,
              (DevInfoSet, const DevInfoData*, const Guid&, std::uint32_t, DeviceInterfaceData*), (override));
  MOCK_METHOD(bool, get_device_interface_detail,
              (DevInfoSet, const DeviceInterfaceData*, void*, std::uint32_t, std::uint32_t*, DevInfoData*), (override));
  MOCK_METHOD(bool, enum_device_info, (DevInfoSet, std::uint32_t, DevInfoData*), (override));
  MOCK_METHOD(bool, get_device_instance_id, (DevInfoSet, const DevInfoData*, char16_t*, std::uint32_t, std::uint32_t*),
              (override));
  MOCK_METHOD(bool, get_device_registry_property,
              (DevInfoSet, const DevInfoData*, std::uint32_t, std::uint32_t*, std::uint8_t*, std::uint32_t,
               std::uint32_t*),
              (override));
  MOCK_METHOD(bool, destroy_device_info_list, (DevInfoSet), (override));
};

TEST(Discovery, OpensThePresentSets) {
  ::testing::StrictMock<MockDeviceTree> api;
  const auto none = ::testing::Return(invalid_dev_info_set());
  EXPECT_CALL(api, get_class_devs(::testing::Pointee(kGuidDevInterfaceUsbDevice), 0x12u)).WillOnce(none);
  EXPECT_CALL(api, get_class_devs(nullptr, 0x06u)).WillOnce(none);
  EXPECT_TRUE(find_camera_interfaces(api).empty() && !scan_camera_presence(api).present);
}

#ifdef VELMORA_LIBUSB
// The libusb seam runs through umockdev in tests/usbfs; here: its codes 0 to -12 as Windows codes, device names.
TEST(Libusb, ErrorsAndDeviceNames) {
  std::string codes;
  for (int error = 0; error >= -12; --error) codes += std::to_string(win32_error_from_libusb(error)) + " ";
  EXPECT_EQ(codes, "0 31 87 5 1167 2 170 121 31 31 31 8 50 ");
  EXPECT_EQ(parse_usbfs_device_path(usbfs_device_path(255, 127)), std::pair(std::uint8_t{255}, std::uint8_t{127}));
  for (const std::u16string bad : {u"/dev/bus/usb/001/02", u"/dev/bus/usb/256/001", u"/dev/bus/usb/00a/001",
                                   u"/dev/bus/usb/001-002", u"\\\\?\\usb#vid_093a&pid_010e#x"}) {
    EXPECT_FALSE(parse_usbfs_device_path(bad)) << utf16_to_utf8(bad);
  }
}
#endif

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
      {"empty write", nullptr, [](auto& s, auto& log) { write(s, log, 0); }},
      {"17-byte write", nullptr, [](auto& s, auto& log) { write(s, log, 17); }},
      {"16-byte write", nullptr, [](auto& s, auto& log) { write(s, log, 16); }},
      {"empty read", nullptr, [](auto& s, auto& log) { bulk_read(s, 0x83, 0, true, log, 0, ""); }},
      {"8193-byte read", nullptr, [](auto& s, auto& log) { bulk_read(s, 0x83, 8193, true, log, 0, ""); }},
      {"2^33-byte read", nullptr, [](auto& s, auto& log) { bulk_read(s, 0x83, 1ull << 33, true, log, 0, ""); }},
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
    const std::string message = test::failure_of([&] {
      CameraSession session = rig.open();
      if (c.call) c.call(session, log);
    });
    const std::string record = test::records(log) + "| " + std::to_string(rig.camera->pipe_transfers()) + " " +
                               std::to_string(rig.camera->query_pipe_calls()) + " " +
                               std::to_string(rig.clock.slept_ms());
    text += c.name + (": " + message) + " " + record + "\n";
    EXPECT_EQ(rig.camera->open_handles(), 0) << c.name << ": every handle closed";
  }
  EXPECT_EQ(test::digest(text), 0x5b30ca7b0e50ef2cu) << text;
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
  void sleep(std::uint32_t ms) override { asked += std::to_string(ms) + " ", counter += ms * 3'579'545LL / 2000 + 1; }
  std::int64_t performance_counter() override { return counter; }
  std::int64_t performance_frequency() override { return 3'579'545; }
  std::string asked;
  std::int64_t counter = 3'579'545LL * 1'000'000'000;  // a billion seconds of uptime
};

// Never early (the time still missing is slept again), at most a day per call, on whole milliseconds.
TEST(PacedSleep, NeverEarlyAtMostOneDayPerCallOnWholeMilliseconds) {
  EarlyWakeClock early;
  const OperationClock operation = OperationClock::start(early);
  paced_sleep(early, 10);
  EXPECT_EQ(early.asked + std::to_string(operation.elapsed_ms()), "10 5 3 1 1 10");
  EXPECT_EQ(early.now_ns() % 1'000'000'000'000'000'000ull, 10'000'433ull);
  VirtualClock clock;
  paced_sleep(clock, 0), paced_sleep(clock, -5), paced_sleep(clock, 3LL * 86'400'000 + 1);
  EXPECT_EQ(clock.sleep_calls(), 4u) << "none for no time, one per day";
}

}  // namespace
}  // namespace velmora
