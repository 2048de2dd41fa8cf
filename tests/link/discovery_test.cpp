// Device trees and what discovery makes of them: the interfaces found, the
// presence walk, the decision, and how much of the tree each scan read.
#include "link/discovery.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "base/text.h"
#include "platform/last_error.h"
#include "sim/simulated_device_tree.h"

namespace velmora {
namespace {

using sim::DeviceTreeScenario;
using sim::SimulatedDevice;
using sim::SimulatedDeviceTreeConfig;
using Tree = SimulatedDeviceTreeConfig;

const std::u16string kSuffix = u"#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

SimulatedDevice dev(std::u16string id, std::function<void(SimulatedDevice&)> change = nullptr) {
  SimulatedDevice d;
  d.instance_id = std::move(id), d.description = u"Dual-Mode Digital Camera", d.driver_service = u"WinUSB";
  if (change) change(d);
  return d;
}

Tree devices(std::vector<SimulatedDevice> list, std::vector<std::u16string> paths = {}) {
  Tree tree;
  for (std::size_t i = 0; i < list.size(); ++i) {
    sim::add_device(tree, list[i], i < paths.size() ? std::optional(u"\\\\?\\" + paths[i] + kSuffix) : std::nullopt);
  }
  return tree;
}

Tree scenario(DeviceTreeScenario which, std::function<void(Tree&)> change = nullptr) {
  Tree tree = sim::device_tree_scenario(which);
  if (change) change(tree);
  return tree;
}

// "pid path id description service, ... | presence | state | detail reads,
// interface and device enumerations, property reads".
std::string describe(const Tree& config) {
  sim::SimulatedDeviceTree tree(config);
  const auto interfaces = find_camera_interfaces(tree);
  const CameraPresence presence = scan_camera_presence(tree);
  std::u16string text;
  for (const CameraInterfaceInfo& i : interfaces) {
    std::u16string path = i.device_path;
    if (path.starts_with(u"\\\\?\\") && path.ends_with(kSuffix))
      path = path.substr(4, path.size() - 4 - kSuffix.size());
    text += (i.vendor_id == 0x093A ? u"" : u"?") + std::u16string(i.product_id == 0x010E ? u"0e " : u"0f ") + path +
            u" " + i.instance_id + u" " + i.description + u" " + i.driver_service + u", ";
  }
  text += presence.present
              ? u"| " + presence.display_name + u"/" + presence.instance_id + u"/" + presence.driver_service
              : u"| absent";
  EXPECT_EQ(tree.open_sets(), 0u);
  return utf16_to_utf8(text) + " | " + std::to_string(int(classify_camera_link(presence, interfaces))) + " | " +
         std::to_string(tree.detail_reads()) + " " + std::to_string(tree.interface_enumerations()) + " " +
         std::to_string(tree.device_enumerations()) + " " + std::to_string(tree.property_reads());
}

const std::u16string kCam = u"USB\\VID_093A&PID_010E\\CAM";
const std::u16string kRel = u"USB\\VID_093A&PID_010F\\REL";
SimulatedDevice failing_device() {
  return dev(u"ROOT\\SYSTEM\\0001", [](auto& d) { d.enum_error = kErrorGenFailure; });
}
void damage_first_camera(Tree& t, std::function<void(sim::SimulatedInterface&)> damage) {
  damage(t.interfaces[t.interfaces.size() - 2]);
}

TEST(Discovery, TreesToDecisions) {
  const struct {
    const char* name;
    Tree tree;
    std::string expected;
  } cases[] = {
      {"no camera", scenario(DeviceTreeScenario::Empty), "| absent | 0 | 1 2 4 0"},
      {"camera on WinUSB", scenario(DeviceTreeScenario::CameraOnWinUsb),
       "0e usb#vid_093a&pid_010e#sim0001 USB\\VID_093A&PID_010E\\SIM0001 Dual-Mode Digital Camera WinUSB, | Dual-Mode "
       "Digital Camera/USB\\VID_093A&PID_010E\\SIM0001/WinUSB | 3 | 2 3 4 9"},
      {"camera without driver", scenario(DeviceTreeScenario::CameraWithoutDriver),
       "| Dual-Mode Digital Camera/USB\\VID_093A&PID_010E\\SIM0001/ | 1 | 1 2 4 4"},
      {"only the 010F variant", scenario(DeviceTreeScenario::RelatedVariantOnly),
       "0f usb#vid_093a&pid_010f#sim0002 USB\\VID_093A&PID_010F\\SIM0002 Dual-Mode Digital Camera WinUSB, | Dual-Mode "
       "Digital Camera/USB\\VID_093A&PID_010F\\SIM0002/WinUSB | 2 | 2 3 4 9"},
      {"two cameras: the walk stops at the first", scenario(DeviceTreeScenario::TwoCameras),
       "0e usb#vid_093a&pid_010e#sim0001 USB\\VID_093A&PID_010E\\SIM0001 Dual-Mode Digital Camera WinUSB, 0e "
       "usb#vid_093a&pid_010e#sim0002 USB\\VID_093A&PID_010E\\SIM0002 Dual-Mode Digital Camera WinUSB, | Dual-Mode "
       "Digital Camera/USB\\VID_093A&PID_010E\\SIM0001/WinUSB | 3 | 3 4 4 13"},
      {"no device set", scenario(DeviceTreeScenario::CameraOnWinUsb, [](Tree& t) { t.class_devs_fails = true; }),
       "| absent | 0 | 0 0 0 0"},
      {"no end of interfaces: gives up after a long run of failures",
       scenario(DeviceTreeScenario::CameraOnWinUsb, [](Tree& t) { t.interface_error_past_end = kErrorGenFailure; }),
       "0e usb#vid_093a&pid_010e#sim0001 USB\\VID_093A&PID_010E\\SIM0001 Dual-Mode Digital Camera WinUSB, | Dual-Mode "
       "Digital Camera/USB\\VID_093A&PID_010E\\SIM0001/WinUSB | 3 | 2 1026 4 9"},
      {"detail size 7",
       scenario(DeviceTreeScenario::TwoCameras,
                [](Tree& t) { damage_first_camera(t, [](auto& i) { i.reported_detail_size = 7; }); }),
       "0e usb#vid_093a&pid_010e#sim0002 USB\\VID_093A&PID_010E\\SIM0002 Dual-Mode Digital Camera WinUSB, | Dual-Mode "
       "Digital Camera/USB\\VID_093A&PID_010E\\SIM0001/WinUSB | 3 | 2 4 4 9"},
      {"detail size 0",
       scenario(DeviceTreeScenario::TwoCameras,
                [](Tree& t) { damage_first_camera(t, [](auto& i) { i.reported_detail_size = 0; }); }),
       "0e usb#vid_093a&pid_010e#sim0002 USB\\VID_093A&PID_010E\\SIM0002 Dual-Mode Digital Camera WinUSB, | Dual-Mode "
       "Digital Camera/USB\\VID_093A&PID_010E\\SIM0001/WinUSB | 3 | 2 4 4 9"},
      {"detail size 8, too small for the path",
       scenario(DeviceTreeScenario::TwoCameras,
                [](Tree& t) { damage_first_camera(t, [](auto& i) { i.reported_detail_size = 8; }); }),
       "0e usb#vid_093a&pid_010e#sim0002 USB\\VID_093A&PID_010E\\SIM0002 Dual-Mode Digital Camera WinUSB, | Dual-Mode "
       "Digital Camera/USB\\VID_093A&PID_010E\\SIM0001/WinUSB | 3 | 3 4 4 9"},
      {"detail unreadable",
       scenario(DeviceTreeScenario::TwoCameras,
                [](Tree& t) { damage_first_camera(t, [](auto& i) { i.detail_unreadable = true; }); }),
       "0e usb#vid_093a&pid_010e#sim0002 USB\\VID_093A&PID_010E\\SIM0002 Dual-Mode Digital Camera WinUSB, | Dual-Mode "
       "Digital Camera/USB\\VID_093A&PID_010E\\SIM0001/WinUSB | 3 | 3 4 4 9"},
      {"interface enumeration fails",
       scenario(DeviceTreeScenario::TwoCameras,
                [](Tree& t) { damage_first_camera(t, [](auto& i) { i.enum_error = kErrorInvalidData; }); }),
       "0e usb#vid_093a&pid_010e#sim0002 USB\\VID_093A&PID_010E\\SIM0002 Dual-Mode Digital Camera WinUSB, | Dual-Mode "
       "Digital Camera/USB\\VID_093A&PID_010E\\SIM0001/WinUSB | 3 | 2 4 4 9"},
      {"paths and ids in any case; the path decides first",
       devices({dev(u"USB\\VID_093A&PID_010E\\A"), dev(u"USB\\VID_093A&PID_010F\\B"), dev(u"USB\\VID_093A&PID_010E\\C"),
                dev(u"USB\\VID_046D&PID_C077\\D")},
               {u"USB#VID_093A&PID_010E#A", u"usb#odd#b", u"usb#vid_093a&pid_010f#c", u"usb#vid_046d&pid_c077#d"}),
       "0e USB#VID_093A&PID_010E#A USB\\VID_093A&PID_010E\\A Dual-Mode Digital Camera WinUSB, 0f usb#odd#b "
       "USB\\VID_093A&PID_010F\\B Dual-Mode Digital Camera WinUSB, 0f usb#vid_093a&pid_010f#c "
       "USB\\VID_093A&PID_010E\\C Dual-Mode Digital Camera WinUSB, | Dual-Mode Digital "
       "Camera/USB\\VID_093A&PID_010E\\A/WinUSB | 3 | 4 5 1 17"},
      {"unreadable strings, unterminated and missing properties",
       devices({dev(u"USB\\VID_093A&PID_010E\\E",
                    [](auto& d) {
                      d.instance_id_unreadable = true;
                      d.unreadable_properties = {kSpdrpDeviceDesc, kSpdrpService};
                    }),
                dev(u"USB\\VID_093A&PID_010E\\F", [](auto& d) { d.instance_id_unreadable = true; }),
                dev(u"USB\\VID_093A&PID_010E\\G", [](auto& d) { d.properties_unterminated = true; }),
                dev(u"USB\\VID_093A&PID_010E\\H", [](auto& d) { d.description.reset(), d.driver_service.reset(); })},
               {u"usb#vid_093a&pid_010e#e", u"usb#other#f", u"usb#vid_093a&pid_010e#g", u"usb#vid_093a&pid_010e#h"}),
       "0e usb#vid_093a&pid_010e#e   , 0e usb#vid_093a&pid_010e#g USB\\VID_093A&PID_010E\\G Dual-Mode Digital Camera "
       "WinUSB, 0e usb#vid_093a&pid_010e#h USB\\VID_093A&PID_010E\\H  , | Dual-Mode Digital "
       "Camera/USB\\VID_093A&PID_010E\\G/WinUSB | 3 | 4 5 3 15"},
      {"walk misses a 010F interface",
       devices({dev(kRel, [](auto& d) { d.instance_id_unreadable = true; })}, {u"usb#vid_093a&pid_010f#rel"}),
       "0f usb#vid_093a&pid_010f#rel  Dual-Mode Digital Camera WinUSB, | absent | 2 | 1 2 2 4"},
      {"walk misses a 010E interface",
       devices({dev(kCam, [](auto& d) { d.instance_id_unreadable = true; })}, {u"usb#vid_093a&pid_010e#cam"}),
       "0e usb#vid_093a&pid_010e#cam  Dual-Mode Digital Camera WinUSB, | absent | 3 | 1 2 2 4"},
      {"010E after 010F", devices({dev(kRel), dev(kCam)}, {u"usb#vid_093a&pid_010f#rel", u"usb#vid_093a&pid_010e#cam"}),
       "0f usb#vid_093a&pid_010f#rel USB\\VID_093A&PID_010F\\REL Dual-Mode Digital Camera WinUSB, 0e "
       "usb#vid_093a&pid_010e#cam USB\\VID_093A&PID_010E\\CAM Dual-Mode Digital Camera WinUSB, | Dual-Mode Digital "
       "Camera/USB\\VID_093A&PID_010F\\REL/WinUSB | 3 | 2 3 1 13"},
      {"lower-case id is not the camera's", devices({dev(u"usb\\vid_093a&pid_010e\\cam")}), "| absent | 0 | 0 1 2 0"},
      {"first match wins", devices({dev(kRel), dev(kCam)}),
       "| Dual-Mode Digital Camera/USB\\VID_093A&PID_010F\\REL/WinUSB | 1 | 0 1 1 5"},
      {"id of exactly the pattern", devices({dev(u"VID_093A&PID_010E")}),
       "| Dual-Mode Digital Camera/VID_093A&PID_010E/WinUSB | 1 | 0 1 1 5"},
      {"unreadable id is skipped", devices({dev(kRel, [](auto& d) { d.instance_id_unreadable = true; }), dev(kCam)}),
       "| Dual-Mode Digital Camera/USB\\VID_093A&PID_010E\\CAM/WinUSB | 1 | 0 1 2 5"},
      {"id longer than the buffer is skipped",
       devices({dev(u"USB\\VID_093A&PID_010F\\" + std::u16string(1010, u'X')), dev(kCam)}),
       "| Dual-Mode Digital Camera/USB\\VID_093A&PID_010E\\CAM/WinUSB | 1 | 0 1 2 5"},
      {"enumeration failure ends the walk", devices({failing_device(), dev(kCam)}), "| absent | 0 | 0 1 1 0"},
      {"failure after the camera", devices({dev(kCam), failing_device()}),
       "| Dual-Mode Digital Camera/USB\\VID_093A&PID_010E\\CAM/WinUSB | 1 | 0 1 1 5"},
      {"friendly name first", devices({dev(kCam, [](auto& d) { d.friendly_name = u"My Camera"; })}),
       "| My Camera/USB\\VID_093A&PID_010E\\CAM/WinUSB | 1 | 0 1 1 4"},
      {"empty friendly name", devices({dev(kCam, [](auto& d) { d.friendly_name = u""; })}),
       "| Dual-Mode Digital Camera/USB\\VID_093A&PID_010E\\CAM/WinUSB | 1 | 0 1 1 6"},
      {"unreadable friendly name, no service",
       devices({dev(kCam,
                    [](auto& d) {
                      d.friendly_name = u"My Camera";
                      d.unreadable_properties = {kSpdrpFriendlyName};
                      d.driver_service.reset();
                    })}),
       "| Dual-Mode Digital Camera/USB\\VID_093A&PID_010E\\CAM/ | 1 | 0 1 1 5"},
      {"no names at all", devices({dev(kCam, [](auto& d) { d.description.reset(), d.driver_service.reset(); })}),
       "| /USB\\VID_093A&PID_010E\\CAM/ | 1 | 0 1 1 3"},
  };
  for (const auto& c : cases) EXPECT_EQ(describe(c.tree), c.expected) << c.name;
}

TEST(Discovery, MatchCameraIds) {
  const std::pair<std::u16string, int> cases[] = {{u"\\\\?\\usb#vid_093a&pid_010e#sim0001" + kSuffix, 0x010E},
                                                  {u"USB\\Vid_093A&pId_010F\\5&1", 0x010F},
                                                  {u"vid_093a&pid_010f and vid_093a&pid_010e", 0x010E},
                                                  {u"VID_093A&PID_010E", 0x010E},
                                                  {u"vid_093a&pid_010", 0},
                                                  {u"vid_093a&pid_0110", 0},
                                                  {u"vid_093b&pid_010e", 0},
                                                  {u"vid_093a_pid_010e", 0},
                                                  {u"vid_093a&&pid_010e", 0},
                                                  {u"", 0}};
  for (const auto& [text, pid] : cases) {
    const auto ids = match_camera_ids(text);
    EXPECT_EQ(ids ? ids->second + (ids->first - 0x093A) * 0x10000 : 0, pid) << utf16_to_utf8(text);
  }
}

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

TEST(Discovery, OpensTheDocumentedSetsAndReadsNothingOfAnUnknownOne) {
  using ::testing::Return;
  ::testing::StrictMock<MockDeviceTree> api;
  EXPECT_CALL(api, get_class_devs(::testing::Pointee(kGuidDevInterfaceUsbDevice), 0x12u))
      .WillOnce(Return(invalid_dev_info_set()));
  EXPECT_CALL(api, get_class_devs(nullptr, 0x06u)).WillOnce(Return(invalid_dev_info_set()));
  EXPECT_TRUE(find_camera_interfaces(api).empty());
  EXPECT_FALSE(scan_camera_presence(api).present);

  sim::SimulatedDeviceTree tree(scenario(DeviceTreeScenario::CameraOnWinUsb));
  const DevInfoData device{kDevInfoDataSize, {}, 1, 0};
  const DevInfoSet bogus = reinterpret_cast<DevInfoSet>(std::uintptr_t{0x1234});
  EXPECT_EQ(read_device_instance_id(tree, bogus, device) + read_device_property(tree, bogus, device, kSpdrpDeviceDesc),
            u"");
}

#ifdef _WIN32
// The real SetupAPI forwarder on the host's own tree (Wine's has no camera).
TEST(SetupApiDeviceTree, WalksTheHostTree) {
  DeviceTreeApi& api = setupapi_device_tree();
  EXPECT_TRUE(find_camera_interfaces(api).empty());
  EXPECT_FALSE(scan_camera_presence(api).present);
  const DevInfoSet set = api.get_class_devs(nullptr, 0x06);
  ASSERT_NE(set, invalid_dev_info_set());
  DevInfoData device{kDevInfoDataSize, {}, 0, 0};
  ASSERT_TRUE(api.enum_device_info(set, 0, &device));
  EXPECT_NE(read_device_instance_id(api, set, device), u"");
  DeviceInterfaceData data{};
  data.cb_size = kDeviceInterfaceDataSize;
  EXPECT_FALSE(api.enum_device_interfaces(set, nullptr, kGuidDevInterfaceUsbDevice, 100000, &data));
  EXPECT_TRUE(api.destroy_device_info_list(set));
}
#endif

}  // namespace
}  // namespace velmora
