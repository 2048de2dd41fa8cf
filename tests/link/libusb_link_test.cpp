// The libusb device tree at its seam: what discovery makes of a camera that
// libusb lists, opens, may not open or finds held by a kernel driver. The
// whole stack runs through umockdev in tests/usbfs.
#ifdef VELMORA_LIBUSB
#include "link/libusb_link.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include "base/text.h"
#include "platform/last_error.h"
#include "platform/libusb_api.h"
#include "sim/simulated_camera.h"
#include "sim/simulated_device_tree.h"

namespace velmora {
namespace {

TEST(Libusb, ErrorsAndDeviceNames) {
  std::vector<std::uint32_t> windows;
  for (const int error : {LIBUSB_SUCCESS, LIBUSB_ERROR_TIMEOUT, LIBUSB_ERROR_NO_DEVICE, LIBUSB_ERROR_ACCESS,
                          LIBUSB_ERROR_BUSY, LIBUSB_ERROR_NOT_FOUND, LIBUSB_ERROR_INVALID_PARAM, LIBUSB_ERROR_NO_MEM,
                          LIBUSB_ERROR_NOT_SUPPORTED, LIBUSB_ERROR_PIPE, LIBUSB_ERROR_IO, LIBUSB_ERROR_OVERFLOW}) {
    windows.push_back(win32_error_from_libusb(error));
  }
  EXPECT_EQ(windows,
            (std::vector<std::uint32_t>{0, kErrorSemTimeout, kErrorDeviceNotConnected, kErrorAccessDenied, kErrorBusy,
                                        kErrorFileNotFound, kErrorInvalidParameter, kErrorNotEnoughMemory,
                                        kErrorNotSupported, kErrorGenFailure, kErrorGenFailure, kErrorGenFailure}));

  EXPECT_EQ(usbfs_device_path(1, 2), u"/dev/bus/usb/001/002");
  EXPECT_EQ(parse_usbfs_device_path(usbfs_device_path(255, 127)), std::pair(std::uint8_t{255}, std::uint8_t{127}));
  for (const std::u16string bad : {u"/dev/bus/usb/001/02", u"/dev/bus/usb/256/001", u"/dev/bus/usb/0a1/001",
                                   u"/dev/bus/usb/001-002", u"\\\\?\\usb#vid_093a&pid_010e#x"}) {
    EXPECT_FALSE(parse_usbfs_device_path(bad)) << utf16_to_utf8(bad);
  }
}

int no_kernel_driver(UsbApi&, OsHandle) { return 0; }
int kernel_driver(UsbApi&, OsHandle) { return 1; }

// A mouse and the camera on bus 1: the mouse is listed, never opened.
TEST(Libusb, CameraStateReachesTheRefusal) {
  const struct {
    const char* name;
    std::uint16_t product;
    std::uint32_t open_error;
    KernelDriverQuery driver;
    std::optional<std::string_view> refusal;
  } cases[] = {
      {"usable", 0x010E, 0, no_kernel_driver, std::nullopt},
      {"no permission", 0x010E, kErrorAccessDenied, no_kernel_driver, kNoPermissionText},
      {"held by a kernel driver", 0x010E, 0, kernel_driver, kKernelDriverText},
      {"variant: the refresh decides", 0x010F, 0, no_kernel_driver, std::nullopt},
      {"camera gone", 0x010E, kErrorFileNotFound, no_kernel_driver, kNoCameraText},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualClock clock;
    sim::SimulatedCameraConfig config;
    config.device_path = usbfs_device_path(1, 2);
    config.create_file_error = c.open_error;
    sim::SimulatedCamera camera(config, clock);
    const auto entries =
        device_tree_entries({{1, 3, "1-1", 0x046D, 0xC077}, {1, 2, "1-2", 0x093A, c.product}}, camera, c.driver);
    EXPECT_EQ(camera.open_handles(), 0);
    sim::SimulatedDeviceTreeConfig tree_config;
    for (const DeviceTreeEntry& e : entries) {
      sim::SimulatedDevice device;
      device.instance_id = e.instance_id, device.description = e.description, device.driver_service = e.driver_service;
      sim::add_device(tree_config, device, e.interface_path);
    }
    sim::SimulatedDeviceTree tree(tree_config);
    const auto interfaces = find_camera_interfaces(tree);
    EXPECT_EQ(interfaces.size(), c.refusal ? 0u : 1u);
    EXPECT_EQ(libusb_link_refusal(scan_camera_presence(tree), interfaces), c.refusal);
    if (interfaces.empty()) continue;
    EXPECT_EQ(
        utf16_to_utf8(entries[0].instance_id + u" " + interfaces[0].device_path + u" " + interfaces[0].driver_service),
        "USB\\VID_046D&PID_C077\\1-1 /dev/bus/usb/001/002 libusb");
  }
}

}  // namespace
}  // namespace velmora
#endif
