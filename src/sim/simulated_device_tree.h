#pragma once
// The simulated camera as Windows' device tree shows it, among a few
// ordinary devices, in the situations the status line tells apart.

#include <string_view>

#include "platform/device_tree_api_memory.h"

namespace velmora::sim {

// How the simulated camera appears to Windows; shared with the simulated
// camera behind the USB seam.
struct SimulatedDeviceIdentity {
  std::u16string_view device_path = u"\\\\?\\usb#vid_093a&pid_010e#sim0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
  std::u16string_view instance_id = u"USB\\VID_093A&PID_010E\\SIM0001";
  std::u16string_view description = u"Dual-Mode Digital Camera";
  std::u16string_view driver_service = u"WinUSB";
};

inline constexpr SimulatedDeviceIdentity kSimulatedDeviceIdentity{};

// The in-memory tree and its records, also under the simulator's names.
using velmora::add_device;
using velmora::SimulatedDevice;
using velmora::SimulatedDeviceTree;
using velmora::SimulatedDeviceTreeConfig;
using velmora::SimulatedInterface;

enum class DeviceTreeScenario {
  Empty,                // no camera
  CameraOnWinUsb,       // the simulated camera with WinUSB bound
  CameraWithoutDriver,  // the camera plugged in, no driver installed
  RelatedVariantOnly,   // only an 093A:010F camera, WinUSB bound
  TwoCameras,           // two 010E cameras on WinUSB; the simulated one first
};

// The scenario among a few ordinary devices (a system device, a root hub, a mouse).
SimulatedDeviceTreeConfig device_tree_scenario(DeviceTreeScenario scenario,
                                               const SimulatedDeviceIdentity& identity = kSimulatedDeviceIdentity);

}  // namespace velmora::sim
