#pragma once
// What the camera operations run against: the USB device calls, the device
// tree and the clock. The application passes the Windows implementations;
// tests and the command line's simulated camera pass the simulator's.

#include <functional>
#include <string>

#include "platform/clock.h"
#include "platform/device_tree_api.h"
#include "platform/usb_api.h"

namespace velmora {

struct CameraEnvironment {
  UsbApi& usb;
  DeviceTreeApi& devices;
  Clock& clock;
};

// One progress line for the activity log. Never blocks.
using ProgressFn = std::function<void(const std::u16string& line)>;

}  // namespace velmora
