#include "sim/simulated_device_tree.h"

namespace velmora::sim {
namespace {

constexpr std::u16string_view kUsbInterfaceSuffix = u"#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

SimulatedDevice camera_device(std::u16string_view instance_id, const SimulatedDeviceIdentity& identity, bool driver) {
  SimulatedDevice device;
  device.instance_id = instance_id;
  device.description = std::u16string(identity.description);
  if (driver) device.driver_service = std::u16string(identity.driver_service);
  return device;
}

void add_ordinary_devices(SimulatedDeviceTreeConfig& tree) {
  SimulatedDevice system;
  system.instance_id = u"ROOT\\SYSTEM\\0000";
  system.description = u"Plug and Play Software Device Enumerator";
  system.driver_service = u"swenum";
  add_device(tree, system);

  SimulatedDevice hub;
  hub.instance_id = u"USB\\ROOT_HUB30\\4&2A1B3C4D&0&0";
  hub.description = u"USB Root Hub (USB 3.0)";
  hub.driver_service = u"USBHUB3";
  add_device(tree, hub);

  SimulatedDevice mouse;
  mouse.instance_id = u"USB\\VID_046D&PID_C077\\5&1A2B3C4D&0&2";
  mouse.description = u"USB Input Device";
  mouse.friendly_name = u"USB Optical Mouse";
  mouse.driver_service = u"HidUsb";
  add_device(tree, mouse, u"\\\\?\\usb#vid_046d&pid_c077#5&1a2b3c4d&0&2" + std::u16string(kUsbInterfaceSuffix));
}

}  // namespace

SimulatedDeviceTreeConfig device_tree_scenario(DeviceTreeScenario scenario, const SimulatedDeviceIdentity& identity) {
  SimulatedDeviceTreeConfig tree;
  add_ordinary_devices(tree);
  const std::u16string path(identity.device_path);
  switch (scenario) {
    case DeviceTreeScenario::Empty: break;
    case DeviceTreeScenario::CameraOnWinUsb:
      add_device(tree, camera_device(identity.instance_id, identity, true), path);
      break;
    case DeviceTreeScenario::CameraWithoutDriver:
      add_device(tree, camera_device(identity.instance_id, identity, false));
      break;
    case DeviceTreeScenario::RelatedVariantOnly:
      add_device(tree, camera_device(u"USB\\VID_093A&PID_010F\\SIM0002", identity, true),
                 u"\\\\?\\usb#vid_093a&pid_010f#sim0002" + std::u16string(kUsbInterfaceSuffix));
      break;
    case DeviceTreeScenario::TwoCameras:
      add_device(tree, camera_device(identity.instance_id, identity, true), path);
      add_device(tree, camera_device(u"USB\\VID_093A&PID_010E\\SIM0002", identity, true),
                 u"\\\\?\\usb#vid_093a&pid_010e#sim0002" + std::u16string(kUsbInterfaceSuffix));
      break;
  }
  return tree;
}

}  // namespace velmora::sim
