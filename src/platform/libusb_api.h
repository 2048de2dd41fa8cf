#pragma once
// The camera through libusb-1.0 (the native build): the USB seam and the
// device-tree seam answered from libusb's device list. Failed calls leave the
// Windows error code that the WinUSB and SetupAPI forwarders would leave, so
// the rest of the program reads every failure the same way on every platform.
//
// A device is named by its usbfs node, "/dev/bus/usb/BBB/DDD" (bus and
// address, three digits each); the name is parsed back into bus and address
// and the device is found in libusb's list, so no Linux-only call is needed.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/device_tree_api.h"
#include "platform/usb_api.h"

namespace velmora {

// The libusb counterpart of the driver service SPDRP_SERVICE reports: a
// camera this process may open and whose interface 0 no kernel driver holds.
inline constexpr std::u16string_view kLibusbService = u"libusb";
// A camera whose interface 0 a kernel driver holds.
inline constexpr std::u16string_view kKernelDriverService = u"kernel driver";

// One device of libusb's list, as read without a transfer.
struct UsbDeviceSummary {
  std::uint8_t bus = 0;
  std::uint8_t address = 0;
  std::string port_path;  // "1-2.3": bus, then the port numbers from the root hub
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
};

// The Windows error code a libusb error code (LIBUSB_ERROR_*) stands for.
std::uint32_t win32_error_from_libusb(int libusb_error);

// "/dev/bus/usb/BBB/DDD", and back; nullopt when the text is not such a name.
std::u16string usbfs_device_path(std::uint8_t bus, std::uint8_t address);
std::optional<std::pair<std::uint8_t, std::uint8_t>> parse_usbfs_device_path(std::u16string_view path);

// How the device tree sees each listed device: every device present; an
// 093A:010E or 093A:010F camera also gets a USB device interface when the
// USB seam can open it and no kernel driver holds its interface 0 (driver
// service kLibusbService); without permission it has no driver service, as a
// camera with no driver on Windows; held by a kernel driver it has the
// service kKernelDriverService and no interface. Only the cameras are opened,
// and only to ask for the access and the driver: nothing is sent to them.
// kernel_driver_active answers libusb_kernel_driver_active for an open handle
// (1 held, 0 free, negative: cannot tell).
struct DeviceTreeEntry {
  std::u16string instance_id;  // "USB\VID_093A&PID_010E\1-2.3"
  std::u16string description;
  std::optional<std::u16string> driver_service;
  std::optional<std::u16string> interface_path;
};
using KernelDriverQuery = int (*)(UsbApi& usb, OsHandle file);
std::vector<DeviceTreeEntry> device_tree_entries(const std::vector<UsbDeviceSummary>& devices, UsbApi& usb,
                                                 KernelDriverQuery kernel_driver_active);

// The process's libusb context, opened on first use; only in builds with libusb.
UsbApi& libusb_api();
DeviceTreeApi& libusb_device_tree();

}  // namespace velmora
