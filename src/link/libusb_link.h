#pragma once
// What stops the command line, before it reads anything, when the device tree
// is libusb's and the camera cannot be used: the counterparts of the texts
// that name Device Manager and the WinUSB binding on Windows. A camera that
// can be opened, and an 093A:010F camera, go on to the refresh, which
// decides with its own texts.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/discovery.h"

namespace velmora {

inline constexpr std::string_view kNoCameraText =
    "No MR97310 camera found. Check the cable, and that lsusb lists 093a:010e.";
inline constexpr std::string_view kNoPermissionText =
    "MR97310 camera detected, but this user may not open it. Install the udev rule "
    "packaging/70-velmora-camera.rules (see README) and reconnect the camera, or run velmora as root.";
inline constexpr std::string_view kKernelDriverText =
    "MR97310 camera detected, but a kernel driver holds its interface. Unbind that driver from the camera "
    "(see README), then try again.";

std::optional<std::string> libusb_link_refusal(const CameraPresence& presence,
                                               const std::vector<CameraInterfaceInfo>& interfaces);

}  // namespace velmora
