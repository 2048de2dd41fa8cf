#pragma once
// Read-only scans of the device tree for the camera: the USB device
// interfaces it can be opened through, and whether Windows sees it at all.
// Nothing here opens a device or reports an error: failed SetupAPI calls only
// leave records out or strings empty.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/camera_format.h"
#include "platform/device_tree_api.h"

namespace velmora {

struct CameraInterfaceInfo {
  std::u16string device_path;
  std::u16string instance_id;
  std::u16string description;
  std::u16string driver_service;
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
  friend bool operator==(const CameraInterfaceInfo&, const CameraInterfaceInfo&) = default;
};

struct CameraPresence {
  bool present = false;
  std::u16string display_name;
  std::u16string instance_id;
  std::u16string driver_service;
  friend bool operator==(const CameraPresence&, const CameraPresence&) = default;
};

enum class CameraLinkState { Disconnected, DetectedNoWinUsb, RelatedVariantOnly, Connected };

// Present USB device interfaces naming 093A:010E or 093A:010F in their path
// or instance id (any case), in enumeration order.
std::vector<CameraInterfaceInfo> find_camera_interfaces(DeviceTreeApi& api);
// The first present device of any class whose instance id names 093A:010E or
// 093A:010F (exact case), driver or no driver.
CameraPresence scan_camera_presence(DeviceTreeApi& api);
// (vendor, product) named by a device path or instance id, any case; 010E
// wins over 010F when both are named.
std::optional<std::pair<std::uint16_t, std::uint16_t>> match_camera_ids(std::u16string_view text);
// Empty when the id cannot be read.
std::u16string read_device_instance_id(DeviceTreeApi& api, DevInfoSet set, const DevInfoData& device);
// A string property (SPDRP_*); the first string of a multi-string; empty
// when absent or unreadable.
std::u16string read_device_property(DeviceTreeApi& api, DevInfoSet set, const DevInfoData& device,
                                    std::uint32_t property);
// A non-empty interface list decides over the presence scan.
CameraLinkState classify_camera_link(const CameraPresence& presence,
                                     const std::vector<CameraInterfaceInfo>& interfaces);

}  // namespace velmora
