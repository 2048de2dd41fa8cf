#include "link/discovery.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <cwctype>

#include "platform/last_error.h"

namespace velmora {
namespace {

constexpr std::u16string_view kLowerCamera = u"vid_093a&pid_010e";
constexpr std::u16string_view kLowerRelated = u"vid_093a&pid_010f";
constexpr std::u16string_view kUpperCamera = u"VID_093A&PID_010E";
constexpr std::u16string_view kUpperRelated = u"VID_093A&PID_010F";
constexpr std::size_t kPatternLength = 17;
constexpr std::uint32_t kInstanceIdUnits = 1024;
// SetupAPI ends an interface enumeration with ERROR_NO_MORE_ITEMS; a tree
// that keeps failing otherwise must not hold the status timer forever.
constexpr std::uint32_t kMaxConsecutiveEnumFailures = 1024;

// Destroys the device information set on every way out.
class DevInfoSetOwner {
 public:
  DevInfoSetOwner(DeviceTreeApi& api, DevInfoSet set) : api_(api), set_(set) {}
  ~DevInfoSetOwner() {
    if (valid()) api_.destroy_device_info_list(set_);
  }
  DevInfoSetOwner(const DevInfoSetOwner&) = delete;
  DevInfoSetOwner& operator=(const DevInfoSetOwner&) = delete;
  bool valid() const { return set_ != nullptr && set_ != invalid_dev_info_set(); }
  DevInfoSet get() const { return set_; }

 private:
  DeviceTreeApi& api_;
  DevInfoSet set_;
};

// The text of a zero-terminated UTF-16 buffer, never reading past its end.
std::u16string text_until_zero(const char16_t* units, std::size_t count) {
  return std::u16string(units, std::find(units, units + count, u'\0'));
}

DevInfoData empty_dev_info() {
  DevInfoData data;
  data.cb_size = kDevInfoDataSize;
  return data;
}

std::optional<CameraInterfaceInfo> read_interface(DeviceTreeApi& api, DevInfoSet set,
                                                  const DeviceInterfaceData& interface_data) {
  std::uint32_t required = 0;
  api.get_device_interface_detail(set, &interface_data, nullptr, 0, &required, nullptr);
  if (required < kInterfaceDetailFixedSize) return std::nullopt;

  // Whole units for the path, so the zero-initialised tail always ends it.
  std::vector<char16_t> storage((required + 1) / 2 + 1, u'\0');
  auto* detail = reinterpret_cast<std::uint8_t*>(storage.data());
  std::memcpy(detail, &kInterfaceDetailFixedSize, sizeof kInterfaceDetailFixedSize);
  DevInfoData device = empty_dev_info();
  if (!api.get_device_interface_detail(set, &interface_data, detail, required, nullptr, &device)) return std::nullopt;

  CameraInterfaceInfo info;
  const char16_t* path = storage.data() + kInterfaceDetailPathOffset / 2;
  info.device_path = text_until_zero(path, storage.size() - kInterfaceDetailPathOffset / 2);
  info.instance_id = read_device_instance_id(api, set, device);
  auto ids = match_camera_ids(info.device_path);
  if (!ids) ids = match_camera_ids(info.instance_id);
  if (!ids) return std::nullopt;
  info.description = read_device_property(api, set, device, kSpdrpDeviceDesc);
  info.driver_service = read_device_property(api, set, device, kSpdrpService);
  info.vendor_id = ids->first;
  info.product_id = ids->second;
  return info;
}

}  // namespace

std::optional<std::pair<std::uint16_t, std::uint16_t>> match_camera_ids(std::u16string_view text) {
  std::u16string lower(text);
  for (char16_t& unit : lower) {
    const std::uint32_t folded = std::towlower(static_cast<std::wint_t>(unit));
    if (folded <= 0xFFFF) unit = static_cast<char16_t>(folded);
  }
  if (lower.find(kLowerCamera) != std::u16string::npos) return std::pair{kCameraVendorId, kCameraProductId};
  if (lower.find(kLowerRelated) != std::u16string::npos) return std::pair{kCameraVendorId, kRelatedProductId};
  return std::nullopt;
}

std::u16string read_device_instance_id(DeviceTreeApi& api, DevInfoSet set, const DevInfoData& device) {
  std::uint32_t required = 0;
  api.get_device_instance_id(set, &device, nullptr, 0, &required);
  if (required == 0) return {};
  std::vector<char16_t> buffer(std::size_t{required} + 1, u'\0');
  if (!api.get_device_instance_id(set, &device, buffer.data(), required + 1, nullptr)) return {};
  return text_until_zero(buffer.data(), buffer.size());
}

std::u16string read_device_property(DeviceTreeApi& api, DevInfoSet set, const DevInfoData& device,
                                    std::uint32_t property) {
  std::uint32_t type = 0;
  std::uint32_t required = 0;
  api.get_device_registry_property(set, &device, property, &type, nullptr, 0, &required);
  if (required == 0) return {};
  // Two spare zero bytes end a string stored without its terminator; the
  // units are rounded up so an odd size cannot cut the last one.
  std::vector<char16_t> buffer((std::size_t{required} + 2 + 1) / 2, u'\0');
  if (!api.get_device_registry_property(set, &device, property, &type, reinterpret_cast<std::uint8_t*>(buffer.data()),
                                        required, nullptr)) {
    return {};
  }
  return text_until_zero(buffer.data(), buffer.size());
}

std::vector<CameraInterfaceInfo> find_camera_interfaces(DeviceTreeApi& api) {
  std::vector<CameraInterfaceInfo> found;
  const DevInfoSetOwner set(api,
                            api.get_class_devs(&kGuidDevInterfaceUsbDevice, kDigcfPresent | kDigcfDeviceInterface));
  if (!set.valid()) return found;
  std::uint32_t consecutive_failures = 0;
  for (std::uint32_t index = 0; index < UINT32_MAX; ++index) {
    DeviceInterfaceData interface_data;
    interface_data.cb_size = kDeviceInterfaceDataSize;
    if (!api.enum_device_interfaces(set.get(), nullptr, kGuidDevInterfaceUsbDevice, index, &interface_data)) {
      if (get_last_error() == kErrorNoMoreItems || ++consecutive_failures >= kMaxConsecutiveEnumFailures) break;
      continue;
    }
    consecutive_failures = 0;
    if (auto info = read_interface(api, set.get(), interface_data)) found.push_back(std::move(*info));
  }
  return found;
}

CameraPresence scan_camera_presence(DeviceTreeApi& api) {
  CameraPresence presence;
  const DevInfoSetOwner set(api, api.get_class_devs(nullptr, kDigcfPresent | kDigcfAllClasses));
  if (!set.valid()) return presence;
  std::array<char16_t, kInstanceIdUnits> id_buffer;
  for (std::uint32_t index = 0; index < UINT32_MAX; ++index) {
    DevInfoData device = empty_dev_info();
    if (!api.enum_device_info(set.get(), index, &device)) break;
    id_buffer.fill(u'\0');
    if (!api.get_device_instance_id(set.get(), &device, id_buffer.data(), kInstanceIdUnits, nullptr)) continue;
    const std::u16string_view id(id_buffer.data(),
                                 std::find(id_buffer.begin(), id_buffer.end(), u'\0') - id_buffer.begin());
    if (id.size() < kPatternLength) continue;
    if (id.find(kUpperCamera) == std::u16string_view::npos && id.find(kUpperRelated) == std::u16string_view::npos) {
      continue;
    }
    presence.present = true;
    presence.instance_id = std::u16string(id);
    presence.display_name = read_device_property(api, set.get(), device, kSpdrpFriendlyName);
    if (presence.display_name.empty())
      presence.display_name = read_device_property(api, set.get(), device, kSpdrpDeviceDesc);
    presence.driver_service = read_device_property(api, set.get(), device, kSpdrpService);
    break;
  }
  return presence;
}

CameraLinkState classify_camera_link(const CameraPresence& presence,
                                     const std::vector<CameraInterfaceInfo>& interfaces) {
  if (interfaces.empty()) return presence.present ? CameraLinkState::DetectedNoWinUsb : CameraLinkState::Disconnected;
  const bool camera = std::any_of(interfaces.begin(), interfaces.end(),
                                  [](const CameraInterfaceInfo& info) { return info.product_id == kCameraProductId; });
  return camera ? CameraLinkState::Connected : CameraLinkState::RelatedVariantOnly;
}

}  // namespace velmora
