#pragma once
// Shared by the two libusb backends of the platform seams.

#include <libusb.h>

#include "platform/usb_api.h"

namespace velmora {

// The process's one libusb context, opened by the first call; returns
// libusb_init's result every time.
int shared_libusb_context(libusb_context** context);

// libusb_kernel_driver_active for interface 0 of a handle from
// libusb_api().create_file.
int camera_kernel_driver_active(UsbApi& usb, OsHandle file);

}  // namespace velmora
