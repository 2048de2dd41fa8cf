#include "link/discovery.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "base/text.h"
#include "platform/last_error.h"
#include "sim/simulated_device_tree.h"

namespace velmora {
namespace {

using sim::DeviceTreeScenario;
using sim::SimulatedDevice;
using sim::SimulatedDeviceTree;
using sim::SimulatedDeviceTreeConfig;

const std::u16string kSuffix = u"#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

SimulatedDevice device(std::u16string id, std::u16string description = u"Dual-Mode Digital Camera",
                       std::optional<std::u16string> service = u"WinUSB") {
  SimulatedDevice d;
  d.instance_id = std::move(id);
  d.description = std::move(description);
  d.driver_service = std::move(service);
  return d;
}

std::vector<std::uint16_t> product_ids(const std::vector<CameraInterfaceInfo>& list) {
  std::vector<std::uint16_t> ids;
  for (const auto& info : list) ids.push_back(info.product_id);
  return ids;
}

std::vector<std::u16string> paths(const std::vector<CameraInterfaceInfo>& list) {
  std::vector<std::u16string> out;
  for (const auto& info : list) out.push_back(info.device_path);
  return out;
}

TEST(MatchCameraIds, PatternsAndCase) {
  using Ids = std::optional<std::pair<std::uint16_t, std::uint16_t>>;
  const Ids camera = std::pair<std::uint16_t, std::uint16_t>{0x093A, 0x010E};
  const Ids related = std::pair<std::uint16_t, std::uint16_t>{0x093A, 0x010F};
  const struct {
    std::u16string text;
    Ids expected;
  } cases[] = {
      {u"\\\\?\\usb#vid_093a&pid_010e#sim0001" + kSuffix, camera},
      {u"\\\\?\\USB#VID_093A&PID_010E#SIM0001" + kSuffix, camera},
      {u"USB\\Vid_093A&pId_010F\\5&1", related},
      {u"vid_093a&pid_010f and vid_093a&pid_010e", camera},
      {u"VID_093A&PID_010E", camera},
      {u"vid_093a&pid_010", std::nullopt},
      {u"vid_093a&pid_0110", std::nullopt},
      {u"vid_093b&pid_010e", std::nullopt},
      {u"vid_093a_pid_010e", std::nullopt},
      {u"vid_093a&&pid_010e", std::nullopt},
      {u"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(match_camera_ids(c.text), c.expected) << utf16_to_utf8(c.text);
}

TEST(Discovery, Scenarios) {
  const sim::SimulatedDeviceIdentity& id = sim::kSimulatedDeviceIdentity;
  const struct {
    const char* name;
    DeviceTreeScenario scenario;
    std::vector<std::uint16_t> products;
    CameraPresence presence;
    CameraLinkState state;
  } cases[] = {
      {"no camera", DeviceTreeScenario::Empty, {}, {}, CameraLinkState::Disconnected},
      {"camera on WinUSB", DeviceTreeScenario::CameraOnWinUsb, {0x010E},
       {true, std::u16string(id.description), std::u16string(id.instance_id), u"WinUSB"}, CameraLinkState::Connected},
      {"camera without driver", DeviceTreeScenario::CameraWithoutDriver, {},
       {true, std::u16string(id.description), std::u16string(id.instance_id), u""}, CameraLinkState::DetectedNoWinUsb},
      {"only the 010F variant", DeviceTreeScenario::RelatedVariantOnly, {0x010F},
       {true, std::u16string(id.description), u"USB\\VID_093A&PID_010F\\SIM0002", u"WinUSB"},
       CameraLinkState::RelatedVariantOnly},
      {"two cameras", DeviceTreeScenario::TwoCameras, {0x010E, 0x010E},
       {true, std::u16string(id.description), std::u16string(id.instance_id), u"WinUSB"}, CameraLinkState::Connected},
  };
  for (const auto& c : cases) {
    SimulatedDeviceTree tree(sim::device_tree_scenario(c.scenario));
    const auto interfaces = find_camera_interfaces(tree);
    const auto presence = scan_camera_presence(tree);
    EXPECT_EQ(product_ids(interfaces), c.products) << c.name;
    EXPECT_EQ(presence, c.presence) << c.name;
    EXPECT_EQ(classify_camera_link(presence, interfaces), c.state) << c.name;
    EXPECT_EQ(tree.open_sets(), 0u) << c.name;
  }
}

TEST(FindCameraInterfaces, RecordOfTheSimulatedCamera) {
  SimulatedDeviceTree tree(sim::device_tree_scenario(DeviceTreeScenario::TwoCameras));
  const auto interfaces = find_camera_interfaces(tree);
  ASSERT_EQ(interfaces.size(), 2u);
  const CameraInterfaceInfo expected{std::u16string(sim::kSimulatedDeviceIdentity.device_path),
                                     std::u16string(sim::kSimulatedDeviceIdentity.instance_id),
                                     u"Dual-Mode Digital Camera", u"WinUSB", 0x093A, 0x010E};
  EXPECT_EQ(interfaces[0], expected);
  EXPECT_EQ(interfaces[1].device_path, u"\\\\?\\usb#vid_093a&pid_010e#sim0002" + kSuffix);
}

TEST(FindCameraInterfaces, MatchingAndSkipping) {
  SimulatedDeviceTreeConfig config;
  // Path in upper case matches.
  sim::add_device(config, device(u"USB\\VID_093A&PID_010E\\A"), u"\\\\?\\USB#VID_093A&PID_010E#A" + kSuffix);
  // Path names nothing; the instance id names 010F.
  sim::add_device(config, device(u"USB\\VID_093A&PID_010F\\B"), u"\\\\?\\usb#odd#b" + kSuffix);
  // The path decides before the instance id.
  sim::add_device(config, device(u"USB\\VID_093A&PID_010E\\C"), u"\\\\?\\usb#vid_093a&pid_010f#c" + kSuffix);
  // Neither names the camera.
  sim::add_device(config, device(u"USB\\VID_046D&PID_C077\\D"), u"\\\\?\\usb#vid_046d&pid_c077#d" + kSuffix);
  // Unreadable id and properties: listed with empty strings.
  SimulatedDevice unreadable = device(u"USB\\VID_093A&PID_010E\\E");
  unreadable.instance_id_unreadable = true;
  unreadable.unreadable_properties = {kSpdrpDeviceDesc, kSpdrpService};
  sim::add_device(config, unreadable, u"\\\\?\\usb#vid_093a&pid_010e#e" + kSuffix);
  // Unreadable id and a path that names nothing: left out.
  SimulatedDevice hidden = device(u"USB\\VID_093A&PID_010E\\F");
  hidden.instance_id_unreadable = true;
  sim::add_device(config, hidden, u"\\\\?\\usb#other#f" + kSuffix);
  // Properties stored without a terminating zero; no description at all.
  SimulatedDevice unterminated = device(u"USB\\VID_093A&PID_010E\\G", u"Camera G", u"WinUSB");
  unterminated.properties_unterminated = true;
  sim::add_device(config, unterminated, u"\\\\?\\usb#vid_093a&pid_010e#g" + kSuffix);
  SimulatedDevice bare = device(u"USB\\VID_093A&PID_010E\\H", u"", std::nullopt);
  bare.description.reset();
  sim::add_device(config, bare, u"\\\\?\\usb#vid_093a&pid_010e#h" + kSuffix);

  SimulatedDeviceTree tree(config);
  const auto interfaces = find_camera_interfaces(tree);
  const std::vector<CameraInterfaceInfo> expected = {
      {u"\\\\?\\USB#VID_093A&PID_010E#A" + kSuffix, u"USB\\VID_093A&PID_010E\\A", u"Dual-Mode Digital Camera",
       u"WinUSB", 0x093A, 0x010E},
      {u"\\\\?\\usb#odd#b" + kSuffix, u"USB\\VID_093A&PID_010F\\B", u"Dual-Mode Digital Camera", u"WinUSB", 0x093A,
       0x010F},
      {u"\\\\?\\usb#vid_093a&pid_010f#c" + kSuffix, u"USB\\VID_093A&PID_010E\\C", u"Dual-Mode Digital Camera",
       u"WinUSB", 0x093A, 0x010F},
      {u"\\\\?\\usb#vid_093a&pid_010e#e" + kSuffix, u"", u"", u"", 0x093A, 0x010E},
      {u"\\\\?\\usb#vid_093a&pid_010e#g" + kSuffix, u"USB\\VID_093A&PID_010E\\G", u"Camera G", u"WinUSB", 0x093A,
       0x010E},
      {u"\\\\?\\usb#vid_093a&pid_010e#h" + kSuffix, u"USB\\VID_093A&PID_010E\\H", u"", u"", 0x093A, 0x010E},
  };
  EXPECT_EQ(interfaces, expected);
  EXPECT_EQ(tree.open_sets(), 0u);
}

TEST(FindCameraInterfaces, SurvivesFailedSteps) {
  // Three interfaces (a mouse and two cameras); detail_reads counts the
  // second detail calls, which a size below 8 must not reach.
  const struct {
    const char* name;
    void (*damage)(sim::SimulatedInterface&);
    std::uint64_t detail_reads;
  } cases[] = {
      {"detail size 7", [](sim::SimulatedInterface& i) { i.reported_detail_size = 7; }, 2},
      {"detail size 0", [](sim::SimulatedInterface& i) { i.reported_detail_size = 0; }, 2},
      {"detail size 8, too small for the path", [](sim::SimulatedInterface& i) { i.reported_detail_size = 8; }, 3},
      {"detail read fails", [](sim::SimulatedInterface& i) { i.detail_unreadable = true; }, 3},
      {"enumeration fails with ERROR_GEN_FAILURE", [](sim::SimulatedInterface& i) { i.enum_error = kErrorGenFailure; },
       2},
      {"enumeration fails with ERROR_INVALID_DATA",
       [](sim::SimulatedInterface& i) { i.enum_error = kErrorInvalidData; }, 2},
  };
  for (const auto& c : cases) {
    auto config = sim::device_tree_scenario(DeviceTreeScenario::TwoCameras);
    c.damage(config.interfaces[config.interfaces.size() - 2]);  // the first camera
    SimulatedDeviceTree tree(config);
    const auto interfaces = find_camera_interfaces(tree);
    EXPECT_EQ(paths(interfaces), std::vector<std::u16string>{u"\\\\?\\usb#vid_093a&pid_010e#sim0002" + kSuffix})
        << c.name;
    EXPECT_EQ(tree.detail_reads(), c.detail_reads) << c.name;
    EXPECT_EQ(tree.open_sets(), 0u) << c.name;
  }
}

TEST(FindCameraInterfaces, EndsOnlyOnNoMoreItems) {
  auto config = sim::device_tree_scenario(DeviceTreeScenario::CameraOnWinUsb);
  const std::size_t count = config.interfaces.size();
  SimulatedDeviceTree normal(config);
  EXPECT_EQ(find_camera_interfaces(normal).size(), 1u);
  EXPECT_EQ(normal.interface_enumerations(), count + 1);

  // A tree that never says ERROR_NO_MORE_ITEMS: the scan gives up after a
  // long run of failures instead of spinning, keeping what it found.
  config.interface_error_past_end = kErrorGenFailure;
  SimulatedDeviceTree broken(config);
  EXPECT_EQ(find_camera_interfaces(broken).size(), 1u);
  EXPECT_EQ(broken.interface_enumerations(), count + 1024);
  EXPECT_EQ(broken.open_sets(), 0u);
}

TEST(Discovery, InvalidSetGivesEmptyResults) {
  auto config = sim::device_tree_scenario(DeviceTreeScenario::CameraOnWinUsb);
  config.class_devs_fails = true;
  SimulatedDeviceTree tree(config);
  EXPECT_TRUE(find_camera_interfaces(tree).empty());
  EXPECT_EQ(scan_camera_presence(tree), CameraPresence{});
  EXPECT_EQ(tree.interface_enumerations(), 0u);
  EXPECT_EQ(tree.device_enumerations(), 0u);
}

class MockDeviceTree : public DeviceTreeApi {
 public:
  MOCK_METHOD(DevInfoSet, get_class_devs, (const Guid*, std::uint32_t), (override));
  MOCK_METHOD(bool, enum_device_interfaces,
              (DevInfoSet, const DevInfoData*, const Guid&, std::uint32_t, DeviceInterfaceData*), (override));
  MOCK_METHOD(bool, get_device_interface_detail,
              (DevInfoSet, const DeviceInterfaceData*, void*, std::uint32_t, std::uint32_t*, DevInfoData*),
              (override));
  MOCK_METHOD(bool, enum_device_info, (DevInfoSet, std::uint32_t, DevInfoData*), (override));
  MOCK_METHOD(bool, get_device_instance_id, (DevInfoSet, const DevInfoData*, char16_t*, std::uint32_t, std::uint32_t*),
              (override));
  MOCK_METHOD(bool, get_device_registry_property,
              (DevInfoSet, const DevInfoData*, std::uint32_t, std::uint32_t*, std::uint8_t*, std::uint32_t,
               std::uint32_t*),
              (override));
  MOCK_METHOD(bool, destroy_device_info_list, (DevInfoSet), (override));
};

TEST(Discovery, OpensTheDocumentedSets) {
  using ::testing::Pointee;
  using ::testing::Return;
  ::testing::StrictMock<MockDeviceTree> api;
  EXPECT_CALL(api, get_class_devs(Pointee(kGuidDevInterfaceUsbDevice), 0x12u)).WillOnce(Return(invalid_dev_info_set()));
  EXPECT_CALL(api, get_class_devs(nullptr, 0x06u)).WillOnce(Return(invalid_dev_info_set()));
  EXPECT_TRUE(find_camera_interfaces(api).empty());
  EXPECT_FALSE(scan_camera_presence(api).present);
}

TEST(ScanCameraPresence, WalkRules) {
  auto camera = [] { return device(u"USB\\VID_093A&PID_010E\\CAM"); };
  const struct {
    const char* name;
    std::vector<SimulatedDevice> devices;
    std::u16string expected_id;  // empty: not present
  } cases[] = {
      {"lower-case id does not match", {device(u"usb\\vid_093a&pid_010e\\cam")}, u""},
      {"010F matches", {device(u"USB\\VID_093A&PID_010F\\REL")}, u"USB\\VID_093A&PID_010F\\REL"},
      {"first match wins", {device(u"USB\\VID_093A&PID_010F\\REL"), camera()}, u"USB\\VID_093A&PID_010F\\REL"},
      {"id of exactly the pattern", {device(u"VID_093A&PID_010E")}, u"VID_093A&PID_010E"},
      {"unreadable id is skipped",
       {[&] {
          auto d = camera();
          d.instance_id = u"USB\\VID_093A&PID_010F\\HIDDEN";
          d.instance_id_unreadable = true;
          return d;
        }(),
        camera()},
       u"USB\\VID_093A&PID_010E\\CAM"},
      {"id longer than the fixed buffer is skipped",
       {device(u"USB\\VID_093A&PID_010F\\" + std::u16string(1010, u'X')), camera()}, u"USB\\VID_093A&PID_010E\\CAM"},
      {"enumeration failure ends the walk",
       {[] {
          auto d = device(u"ROOT\\SYSTEM\\0001");
          d.enum_error = kErrorGenFailure;
          return d;
        }(),
        camera()},
       u""},
      {"failure after the camera is never reached",
       {camera(), [] {
          auto d = device(u"ROOT\\SYSTEM\\0001");
          d.enum_error = kErrorGenFailure;
          return d;
        }()},
       u"USB\\VID_093A&PID_010E\\CAM"},
  };
  for (const auto& c : cases) {
    SimulatedDeviceTreeConfig config;
    config.devices = c.devices;
    SimulatedDeviceTree tree(config);
    const CameraPresence presence = scan_camera_presence(tree);
    EXPECT_EQ(presence.present, !c.expected_id.empty()) << c.name;
    EXPECT_EQ(presence.instance_id, c.expected_id) << c.name;
    EXPECT_EQ(tree.open_sets(), 0u) << c.name;
  }
}

TEST(ScanCameraPresence, DisplayNameAndService) {
  const struct {
    const char* name;
    std::optional<std::u16string> friendly;
    std::optional<std::u16string> description;
    std::optional<std::u16string> service;
    bool friendly_unreadable;
    CameraPresence expected;
  } cases[] = {
      {"friendly name first", u"My Camera", u"Dual-Mode Digital Camera", u"WinUSB", false,
       {true, u"My Camera", u"USB\\VID_093A&PID_010E\\CAM", u"WinUSB"}},
      {"empty friendly name falls back", u"", u"Dual-Mode Digital Camera", u"WinUSB", false,
       {true, u"Dual-Mode Digital Camera", u"USB\\VID_093A&PID_010E\\CAM", u"WinUSB"}},
      {"unreadable friendly name falls back", u"My Camera", u"Dual-Mode Digital Camera", std::nullopt, true,
       {true, u"Dual-Mode Digital Camera", u"USB\\VID_093A&PID_010E\\CAM", u""}},
      {"no names at all", std::nullopt, std::nullopt, std::nullopt, false,
       {true, u"", u"USB\\VID_093A&PID_010E\\CAM", u""}},
  };
  for (const auto& c : cases) {
    SimulatedDevice d;
    d.instance_id = u"USB\\VID_093A&PID_010E\\CAM";
    d.friendly_name = c.friendly;
    d.description = c.description;
    d.driver_service = c.service;
    if (c.friendly_unreadable) d.unreadable_properties = {kSpdrpFriendlyName};
    SimulatedDeviceTreeConfig config;
    config.devices = {d};
    SimulatedDeviceTree tree(config);
    EXPECT_EQ(scan_camera_presence(tree), c.expected) << c.name;
  }
}

TEST(ScanCameraPresence, ReadsPropertiesOnlyOfTheMatch) {
  SimulatedDeviceTree none(sim::device_tree_scenario(DeviceTreeScenario::Empty));
  EXPECT_FALSE(scan_camera_presence(none).present);
  EXPECT_EQ(none.property_reads(), 0u);
  EXPECT_GT(none.device_enumerations(), 3u);

  SimulatedDeviceTree two(sim::device_tree_scenario(DeviceTreeScenario::TwoCameras));
  EXPECT_EQ(scan_camera_presence(two).instance_id, sim::kSimulatedDeviceIdentity.instance_id);
  // The walk stopped at the first camera: the second was never enumerated.
  EXPECT_EQ(two.device_enumerations(), two.config().devices.size() - 1);
}

TEST(ReadDeviceStrings, UnknownSetGivesEmptyStrings) {
  SimulatedDeviceTree tree(sim::device_tree_scenario(DeviceTreeScenario::CameraOnWinUsb));
  DevInfoData device;
  device.cb_size = kDevInfoDataSize;
  device.dev_inst = 1;
  const DevInfoSet bogus = reinterpret_cast<DevInfoSet>(std::uintptr_t{0x1234});
  EXPECT_EQ(read_device_instance_id(tree, bogus, device), u"");
  EXPECT_EQ(read_device_property(tree, bogus, device, kSpdrpDeviceDesc), u"");
}

TEST(ClassifyCameraLink, Decisions) {
  const CameraInterfaceInfo camera{u"p1", u"", u"", u"", 0x093A, 0x010E};
  const CameraInterfaceInfo related{u"p2", u"", u"", u"", 0x093A, 0x010F};
  const CameraPresence absent{};
  const CameraPresence present{true, u"Dual-Mode Digital Camera", u"USB\\VID_093A&PID_010E\\X", u""};
  const struct {
    const char* name;
    CameraPresence presence;
    std::vector<CameraInterfaceInfo> interfaces;
    CameraLinkState expected;
  } cases[] = {
      {"nothing", absent, {}, CameraLinkState::Disconnected},
      {"seen without WinUSB", present, {}, CameraLinkState::DetectedNoWinUsb},
      {"only 010F", present, {related}, CameraLinkState::RelatedVariantOnly},
      {"only 010F, walk missed it", absent, {related}, CameraLinkState::RelatedVariantOnly},
      {"010E after 010F", present, {related, camera}, CameraLinkState::Connected},
      {"interfaces decide over a missed walk", absent, {camera}, CameraLinkState::Connected},
  };
  for (const auto& c : cases) EXPECT_EQ(classify_camera_link(c.presence, c.interfaces), c.expected) << c.name;
}

#ifdef _WIN32
// Counts what the real forwarder answered, so the test shows the walk ran.
class CountingTree final : public DeviceTreeApi {
 public:
  explicit CountingTree(DeviceTreeApi& real) : real_(real) {}
  DevInfoSet get_class_devs(const Guid* class_guid, std::uint32_t flags) override {
    return real_.get_class_devs(class_guid, flags);
  }
  bool enum_device_interfaces(DevInfoSet set, const DevInfoData* device_info, const Guid& guid, std::uint32_t index,
                              DeviceInterfaceData* data) override {
    const bool ok = real_.enum_device_interfaces(set, device_info, guid, index, data);
    if (!ok) last_interface_error = get_last_error();
    return ok;
  }
  bool get_device_interface_detail(DevInfoSet set, const DeviceInterfaceData* data, void* detail,
                                   std::uint32_t size, std::uint32_t* required, DevInfoData* device_info) override {
    return real_.get_device_interface_detail(set, data, detail, size, required, device_info);
  }
  bool enum_device_info(DevInfoSet set, std::uint32_t index, DevInfoData* device_info) override {
    const bool ok = real_.enum_device_info(set, index, device_info);
    devices += ok ? 1 : 0;
    return ok;
  }
  bool get_device_instance_id(DevInfoSet set, const DevInfoData* device_info, char16_t* buffer,
                              std::uint32_t size, std::uint32_t* required) override {
    const bool ok = real_.get_device_instance_id(set, device_info, buffer, size, required);
    if (ok && buffer && buffer[0] != u'\0') ++ids_read;
    return ok;
  }
  bool get_device_registry_property(DevInfoSet set, const DevInfoData* device_info, std::uint32_t property,
                                    std::uint32_t* type, std::uint8_t* buffer, std::uint32_t size,
                                    std::uint32_t* required) override {
    return real_.get_device_registry_property(set, device_info, property, type, buffer, size, required);
  }
  bool destroy_device_info_list(DevInfoSet set) override {
    const bool ok = real_.destroy_device_info_list(set);
    destroyed += ok ? 1 : 0;
    return ok;
  }

  int devices = 0;
  int ids_read = 0;
  int destroyed = 0;
  std::uint32_t last_interface_error = 0;

 private:
  DeviceTreeApi& real_;
};

// The real SetupAPI forwarder against the host's own tree (Wine's has no camera).
TEST(SetupApiDeviceTree, ScansTheHostTreeWithoutACamera) {
  CountingTree tree(setupapi_device_tree());
  const auto interfaces = find_camera_interfaces(tree);
  const CameraPresence presence = scan_camera_presence(tree);
  EXPECT_TRUE(interfaces.empty());
  EXPECT_EQ(tree.last_interface_error, kErrorNoMoreItems);
  EXPECT_FALSE(presence.present);
  EXPECT_EQ(classify_camera_link(presence, interfaces), CameraLinkState::Disconnected);
  EXPECT_EQ(tree.destroyed, 2);
  EXPECT_EQ(tree.ids_read, tree.devices);
  std::printf("host tree: %d devices walked, %d instance ids read\n", tree.devices, tree.ids_read);
}
#endif

}  // namespace
}  // namespace velmora
