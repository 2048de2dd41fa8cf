// Implementation here must contain only generic Windows code: each method is
// one call of the function it mirrors, with the structures copied field by
// field (their Reserved members round-trip unchanged).
#include <windows.h>
#include <setupapi.h>

#include <cstddef>
#include <cstring>

#include "platform/device_tree_api.h"

namespace velmora {
namespace {

static_assert(sizeof(WCHAR) == sizeof(char16_t) && sizeof(DWORD) == 4);
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == kDeviceInterfaceDataSize);
static_assert(sizeof(SP_DEVINFO_DATA) == kDevInfoDataSize);
static_assert(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) == kInterfaceDetailPathOffset);
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == kInterfaceDetailFixedSize);

GUID to_win(const Guid& g) {
  GUID out{};
  out.Data1 = g.data1;
  out.Data2 = g.data2;
  out.Data3 = g.data3;
  std::memcpy(out.Data4, g.data4.data(), 8);
  return out;
}

Guid from_win(const GUID& g) {
  Guid out;
  out.data1 = g.Data1;
  out.data2 = g.Data2;
  out.data3 = g.Data3;
  std::memcpy(out.data4.data(), g.Data4, 8);
  return out;
}

SP_DEVINFO_DATA to_win(const DevInfoData& d) {
  SP_DEVINFO_DATA out{};
  out.cbSize = d.cb_size;
  out.ClassGuid = to_win(d.class_guid);
  out.DevInst = d.dev_inst;
  out.Reserved = d.reserved;
  return out;
}

DevInfoData from_win(const SP_DEVINFO_DATA& d) {
  return DevInfoData{d.cbSize, from_win(d.ClassGuid), d.DevInst, d.Reserved};
}

SP_DEVICE_INTERFACE_DATA to_win(const DeviceInterfaceData& d) {
  SP_DEVICE_INTERFACE_DATA out{};
  out.cbSize = d.cb_size;
  out.InterfaceClassGuid = to_win(d.interface_class_guid);
  out.Flags = d.flags;
  out.Reserved = d.reserved;
  return out;
}

DeviceInterfaceData from_win(const SP_DEVICE_INTERFACE_DATA& d) {
  return DeviceInterfaceData{d.cbSize, from_win(d.InterfaceClassGuid), d.Flags, d.Reserved};
}

class SetupApiDeviceTree final : public DeviceTreeApi {
 public:
  DevInfoSet get_class_devs(const Guid* class_guid, std::uint32_t flags) override {
    GUID guid{};
    if (class_guid) guid = to_win(*class_guid);
    return ::SetupDiGetClassDevsW(class_guid ? &guid : nullptr, nullptr, nullptr, flags);
  }
  bool enum_device_interfaces(DevInfoSet set, const DevInfoData* device_info, const Guid& interface_class_guid,
                              std::uint32_t member_index, DeviceInterfaceData* interface_data) override {
    SP_DEVINFO_DATA info{};
    if (device_info) info = to_win(*device_info);
    const GUID guid = to_win(interface_class_guid);
    SP_DEVICE_INTERFACE_DATA data = to_win(*interface_data);
    const BOOL ok = ::SetupDiEnumDeviceInterfaces(set, device_info ? &info : nullptr, &guid, member_index, &data);
    if (ok) *interface_data = from_win(data);
    return ok != FALSE;
  }
  bool get_device_interface_detail(DevInfoSet set, const DeviceInterfaceData* interface_data, void* detail,
                                   std::uint32_t detail_size, std::uint32_t* required_size,
                                   DevInfoData* device_info) override {
    SP_DEVICE_INTERFACE_DATA data = to_win(*interface_data);
    SP_DEVINFO_DATA info{};
    if (device_info) info = to_win(*device_info);
    DWORD required = 0;
    const BOOL ok =
        ::SetupDiGetDeviceInterfaceDetailW(set, &data, static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(detail),
                                           detail_size, &required, device_info ? &info : nullptr);
    if (required_size) *required_size = required;
    if (ok && device_info) *device_info = from_win(info);
    return ok != FALSE;
  }
  bool enum_device_info(DevInfoSet set, std::uint32_t member_index, DevInfoData* device_info) override {
    SP_DEVINFO_DATA info = to_win(*device_info);
    const BOOL ok = ::SetupDiEnumDeviceInfo(set, member_index, &info);
    if (ok) *device_info = from_win(info);
    return ok != FALSE;
  }
  bool get_device_instance_id(DevInfoSet set, const DevInfoData* device_info, char16_t* buffer,
                              std::uint32_t buffer_size, std::uint32_t* required_size) override {
    SP_DEVINFO_DATA info = to_win(*device_info);
    DWORD required = 0;
    const BOOL ok = ::SetupDiGetDeviceInstanceIdW(set, &info, reinterpret_cast<PWSTR>(buffer), buffer_size,
                                                  required_size ? &required : nullptr);
    if (required_size) *required_size = required;
    return ok != FALSE;
  }
  bool get_device_registry_property(DevInfoSet set, const DevInfoData* device_info, std::uint32_t property,
                                    std::uint32_t* property_reg_data_type, std::uint8_t* buffer,
                                    std::uint32_t buffer_size, std::uint32_t* required_size) override {
    SP_DEVINFO_DATA info = to_win(*device_info);
    DWORD type = 0;
    DWORD required = 0;
    const BOOL ok = ::SetupDiGetDeviceRegistryPropertyW(set, &info, property, property_reg_data_type ? &type : nullptr,
                                                        buffer, buffer_size, required_size ? &required : nullptr);
    if (property_reg_data_type) *property_reg_data_type = type;
    if (required_size) *required_size = required;
    return ok != FALSE;
  }
  bool destroy_device_info_list(DevInfoSet set) override { return ::SetupDiDestroyDeviceInfoList(set) != FALSE; }
};

}  // namespace

DeviceTreeApi& setupapi_device_tree() {
  static SetupApiDeviceTree api;
  return api;
}

}  // namespace velmora
