#pragma once
// The read-only SetupAPI calls of device discovery, mirroring the Windows
// functions one to one. None of them blocks for long (they read the PnP
// tree). A call that returns false (or an invalid set) leaves the Windows
// error code in the thread's last error (platform/last_error.h); a call that
// succeeds may leave it untouched.
//
// Implementations: platform/device_tree_api_win.cpp (SetupAPI),
// platform/device_tree_api_libusb.cpp (libusb's device list, native build)
// and platform/device_tree_api_memory.cpp (a tree held in memory: the libusb
// snapshots, the simulator, the tests).

#include <array>
#include <cstdint>

#include "platform/last_error.h"

namespace velmora {

using DevInfoSet = void*;  // an HDEVINFO

// INVALID_HANDLE_VALUE, which SetupDiGetClassDevsW returns on failure.
inline DevInfoSet invalid_dev_info_set() { return reinterpret_cast<DevInfoSet>(static_cast<std::intptr_t>(-1)); }

// GUID.
struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::array<std::uint8_t, 8> data4{};
  friend bool operator==(const Guid&, const Guid&) = default;
};

// GUID_DEVINTERFACE_USB_DEVICE {A5DCBF10-6530-11D2-901F-00C04FB951ED}.
inline constexpr Guid kGuidDevInterfaceUsbDevice = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

// SP_DEVICE_INTERFACE_DATA; cb_size must be 32 (its size on x64).
struct DeviceInterfaceData {
  std::uint32_t cb_size = 0;
  Guid interface_class_guid;
  std::uint32_t flags = 0;
  std::uintptr_t reserved = 0;
};

// SP_DEVINFO_DATA; cb_size must be 32 (its size on x64).
struct DevInfoData {
  std::uint32_t cb_size = 0;
  Guid class_guid;
  std::uint32_t dev_inst = 0;
  std::uintptr_t reserved = 0;
};

inline constexpr std::uint32_t kDeviceInterfaceDataSize = 32;
inline constexpr std::uint32_t kDevInfoDataSize = 32;
// SP_DEVICE_INTERFACE_DETAIL_DATA_W on x64: DWORD cbSize, then the
// zero-terminated UTF-16 DevicePath at byte 4; cbSize holds 8.
inline constexpr std::uint32_t kInterfaceDetailFixedSize = 8;
inline constexpr std::uint32_t kInterfaceDetailPathOffset = 4;

// SetupDiGetClassDevsW flags.
inline constexpr std::uint32_t kDigcfPresent = 0x02;
inline constexpr std::uint32_t kDigcfAllClasses = 0x04;
inline constexpr std::uint32_t kDigcfDeviceInterface = 0x10;

// SetupDiGetDeviceRegistryPropertyW property codes.
inline constexpr std::uint32_t kSpdrpDeviceDesc = 0;
inline constexpr std::uint32_t kSpdrpService = 4;
inline constexpr std::uint32_t kSpdrpFriendlyName = 12;

class DeviceTreeApi {
 public:
  virtual ~DeviceTreeApi() = default;

  // SetupDiGetClassDevsW(class_guid, nullptr, nullptr, flags); class_guid may
  // be null. Returns invalid_dev_info_set() on failure.
  virtual DevInfoSet get_class_devs(const Guid* class_guid, std::uint32_t flags) = 0;
  // SetupDiEnumDeviceInterfaces; device_info may be null. Past the last
  // interface it fails with ERROR_NO_MORE_ITEMS.
  virtual bool enum_device_interfaces(DevInfoSet set, const DevInfoData* device_info, const Guid& interface_class_guid,
                                      std::uint32_t member_index, DeviceInterfaceData* interface_data) = 0;
  // SetupDiGetDeviceInterfaceDetailW. detail is the raw
  // SP_DEVICE_INTERFACE_DETAIL_DATA_W buffer (null with detail_size 0 to ask
  // for the size); required_size and device_info may be null.
  virtual bool get_device_interface_detail(DevInfoSet set, const DeviceInterfaceData* interface_data, void* detail,
                                           std::uint32_t detail_size, std::uint32_t* required_size,
                                           DevInfoData* device_info) = 0;
  // SetupDiEnumDeviceInfo. Past the last device it fails with ERROR_NO_MORE_ITEMS.
  virtual bool enum_device_info(DevInfoSet set, std::uint32_t member_index, DevInfoData* device_info) = 0;
  // SetupDiGetDeviceInstanceIdW; buffer_size and required_size count UTF-16
  // units including the terminating zero; required_size may be null.
  virtual bool get_device_instance_id(DevInfoSet set, const DevInfoData* device_info, char16_t* buffer,
                                      std::uint32_t buffer_size, std::uint32_t* required_size) = 0;
  // SetupDiGetDeviceRegistryPropertyW; sizes in bytes; property_reg_data_type
  // and required_size may be null.
  virtual bool get_device_registry_property(DevInfoSet set, const DevInfoData* device_info, std::uint32_t property,
                                            std::uint32_t* property_reg_data_type, std::uint8_t* buffer,
                                            std::uint32_t buffer_size, std::uint32_t* required_size) = 0;
  // SetupDiDestroyDeviceInfoList.
  virtual bool destroy_device_info_list(DevInfoSet set) = 0;
};

// The machine's own device tree through SetupAPI; only in the Windows build.
DeviceTreeApi& setupapi_device_tree();

}  // namespace velmora
