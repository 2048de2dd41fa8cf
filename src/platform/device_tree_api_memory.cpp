#include "platform/device_tree_api_memory.h"

#include <algorithm>
#include <cstring>

#include "platform/last_error.h"

namespace velmora {
namespace {

constexpr std::uint32_t kRegSz = 1;

bool fail(std::uint32_t code) {
  set_last_error(code);
  return false;
}

bool succeed() {
  set_last_error(0);
  return true;
}

// Stored bytes of a string property, as the registry holds it.
std::vector<std::uint8_t> property_bytes(const std::u16string& text, bool terminated) {
  std::vector<std::uint8_t> bytes((text.size() + (terminated ? 1 : 0)) * 2, 0);
  std::memcpy(bytes.data(), text.data(), text.size() * 2);
  return bytes;
}

const std::optional<std::u16string>* property_of(const SimulatedDevice& device, std::uint32_t property) {
  switch (property) {
    case kSpdrpDeviceDesc: return &device.description;
    case kSpdrpFriendlyName: return &device.friendly_name;
    case kSpdrpService: return &device.driver_service;
    default: return nullptr;
  }
}

}  // namespace

void add_device(SimulatedDeviceTreeConfig& tree, SimulatedDevice device, std::optional<std::u16string> interface_path) {
  tree.devices.push_back(std::move(device));
  if (interface_path) {
    SimulatedInterface usb_interface;
    usb_interface.device = tree.devices.size() - 1;
    usb_interface.device_path = std::move(*interface_path);
    tree.interfaces.push_back(std::move(usb_interface));
  }
}

SimulatedDeviceTree::SimulatedDeviceTree(SimulatedDeviceTreeConfig config)
    : tree_(std::make_shared<const SimulatedDeviceTreeConfig>(std::move(config))) {}

void SimulatedDeviceTree::replace(SimulatedDeviceTreeConfig config) {
  auto tree = std::make_shared<const SimulatedDeviceTreeConfig>(std::move(config));
  const std::lock_guard lock(mutex_);
  tree_ = std::move(tree);
}

SimulatedDeviceTreeConfig SimulatedDeviceTree::config() const {
  const std::lock_guard lock(mutex_);
  return *tree_;
}

std::size_t SimulatedDeviceTree::open_sets() const {
  const std::lock_guard lock(mutex_);
  return sets_.size();
}

std::uint64_t SimulatedDeviceTree::interface_enumerations() const {
  const std::lock_guard lock(mutex_);
  return interface_enumerations_;
}

std::uint64_t SimulatedDeviceTree::detail_reads() const {
  const std::lock_guard lock(mutex_);
  return detail_reads_;
}

std::uint64_t SimulatedDeviceTree::device_enumerations() const {
  const std::lock_guard lock(mutex_);
  return device_enumerations_;
}

std::uint64_t SimulatedDeviceTree::property_reads() const {
  const std::lock_guard lock(mutex_);
  return property_reads_;
}

const SimulatedDeviceTree::OpenSet* SimulatedDeviceTree::find_set(DevInfoSet set) const {
  const auto it = sets_.find(reinterpret_cast<std::uintptr_t>(set));
  if (it == sets_.end()) {
    fail(kErrorInvalidHandle);
    return nullptr;
  }
  return &it->second;
}

const SimulatedDevice* SimulatedDeviceTree::find_device(const OpenSet& set, const DevInfoData* device_info) const {
  if (!device_info || device_info->cb_size != kDevInfoDataSize) {
    fail(kErrorInvalidUserBuffer);
    return nullptr;
  }
  if (device_info->dev_inst == 0 || device_info->dev_inst > set.tree->devices.size()) {
    fail(kErrorInvalidParameter);
    return nullptr;
  }
  return &set.tree->devices[device_info->dev_inst - 1];
}

DevInfoSet SimulatedDeviceTree::get_class_devs(const Guid* class_guid, std::uint32_t flags) {
  const std::lock_guard lock(mutex_);
  if (tree_->class_devs_fails) {
    fail(kErrorInvalidParameter);
    return invalid_dev_info_set();
  }
  OpenSet set;
  set.tree = tree_;
  if ((flags & kDigcfDeviceInterface) != 0) {
    set.kind = class_guid && *class_guid == kGuidDevInterfaceUsbDevice ? SetKind::Interfaces : SetKind::Nothing;
  } else if ((flags & kDigcfAllClasses) != 0) {
    set.kind = SetKind::AllDevices;
  }
  const std::uintptr_t id = next_set_;
  next_set_ += 0x10;
  sets_.emplace(id, set);
  succeed();
  return reinterpret_cast<DevInfoSet>(id);
}

bool SimulatedDeviceTree::enum_device_interfaces(DevInfoSet set, const DevInfoData* device_info,
                                                 const Guid& interface_class_guid, std::uint32_t member_index,
                                                 DeviceInterfaceData* interface_data) {
  const std::lock_guard lock(mutex_);
  ++interface_enumerations_;
  const OpenSet* open = find_set(set);
  if (!open) return false;
  if (!interface_data || interface_data->cb_size != kDeviceInterfaceDataSize) return fail(kErrorInvalidUserBuffer);
  if (open->kind != SetKind::Interfaces || device_info || !(interface_class_guid == kGuidDevInterfaceUsbDevice)) {
    return fail(kErrorNoMoreItems);
  }
  const auto& interfaces = open->tree->interfaces;
  if (member_index >= interfaces.size()) return fail(open->tree->interface_error_past_end);
  if (interfaces[member_index].enum_error != 0) return fail(interfaces[member_index].enum_error);
  interface_data->interface_class_guid = kGuidDevInterfaceUsbDevice;
  interface_data->flags = 1;  // SPINT_ACTIVE
  interface_data->reserved = member_index + 1;
  return succeed();
}

bool SimulatedDeviceTree::get_device_interface_detail(DevInfoSet set, const DeviceInterfaceData* interface_data,
                                                      void* detail, std::uint32_t detail_size,
                                                      std::uint32_t* required_size, DevInfoData* device_info) {
  const std::lock_guard lock(mutex_);
  const OpenSet* open = find_set(set);
  if (!open) return false;
  if (!interface_data || interface_data->cb_size != kDeviceInterfaceDataSize || interface_data->reserved == 0 ||
      interface_data->reserved > open->tree->interfaces.size()) {
    return fail(kErrorInvalidParameter);
  }
  const SimulatedInterface& usb_interface = open->tree->interfaces[interface_data->reserved - 1];
  const std::size_t path_bytes = (usb_interface.device_path.size() + 1) * 2;
  const auto needed = static_cast<std::uint32_t>(kInterfaceDetailPathOffset + path_bytes);
  if (required_size) *required_size = usb_interface.reported_detail_size.value_or(needed);
  if (!detail) return fail(detail_size == 0 ? kErrorInsufficientBuffer : kErrorInvalidUserBuffer);
  ++detail_reads_;
  std::uint32_t cb_size = 0;
  std::memcpy(&cb_size, detail, sizeof cb_size);
  if (cb_size != kInterfaceDetailFixedSize) return fail(kErrorInvalidUserBuffer);
  if (detail_size < needed) return fail(kErrorInsufficientBuffer);
  if (device_info && device_info->cb_size != kDevInfoDataSize) return fail(kErrorInvalidUserBuffer);
  if (usb_interface.detail_unreadable) return fail(kErrorInvalidData);
  auto* bytes = static_cast<std::uint8_t*>(detail);
  std::memcpy(bytes + kInterfaceDetailPathOffset, usb_interface.device_path.c_str(), path_bytes);
  if (device_info) {
    device_info->dev_inst = static_cast<std::uint32_t>(usb_interface.device + 1);
    device_info->reserved = interface_data->reserved;
  }
  return succeed();
}

bool SimulatedDeviceTree::enum_device_info(DevInfoSet set, std::uint32_t member_index, DevInfoData* device_info) {
  const std::lock_guard lock(mutex_);
  ++device_enumerations_;
  const OpenSet* open = find_set(set);
  if (!open) return false;
  if (!device_info || device_info->cb_size != kDevInfoDataSize) return fail(kErrorInvalidUserBuffer);
  std::vector<std::size_t> members;
  if (open->kind == SetKind::AllDevices) {
    for (std::size_t i = 0; i < open->tree->devices.size(); ++i) members.push_back(i);
  } else if (open->kind == SetKind::Interfaces) {
    for (const SimulatedInterface& usb_interface : open->tree->interfaces) {
      if (std::find(members.begin(), members.end(), usb_interface.device) == members.end()) {
        members.push_back(usb_interface.device);
      }
    }
  }
  if (member_index >= members.size()) return fail(kErrorNoMoreItems);
  const std::size_t device = members[member_index];
  if (open->tree->devices[device].enum_error != 0) return fail(open->tree->devices[device].enum_error);
  device_info->dev_inst = static_cast<std::uint32_t>(device + 1);
  device_info->reserved = member_index + 1;
  return succeed();
}

bool SimulatedDeviceTree::get_device_instance_id(DevInfoSet set, const DevInfoData* device_info, char16_t* buffer,
                                                 std::uint32_t buffer_size, std::uint32_t* required_size) {
  const std::lock_guard lock(mutex_);
  const OpenSet* open = find_set(set);
  if (!open) return false;
  const SimulatedDevice* device = find_device(*open, device_info);
  if (!device) return false;
  if (device->instance_id_unreadable) return fail(kErrorInvalidData);
  const auto needed = static_cast<std::uint32_t>(device->instance_id.size() + 1);
  if (required_size) *required_size = needed;
  if (!buffer && buffer_size != 0) return fail(kErrorInvalidUserBuffer);
  if (buffer_size < needed) return fail(kErrorInsufficientBuffer);
  std::memcpy(buffer, device->instance_id.c_str(), needed * sizeof(char16_t));
  return succeed();
}

bool SimulatedDeviceTree::get_device_registry_property(DevInfoSet set, const DevInfoData* device_info,
                                                       std::uint32_t property, std::uint32_t* property_reg_data_type,
                                                       std::uint8_t* buffer, std::uint32_t buffer_size,
                                                       std::uint32_t* required_size) {
  const std::lock_guard lock(mutex_);
  ++property_reads_;
  const OpenSet* open = find_set(set);
  if (!open) return false;
  const SimulatedDevice* device = find_device(*open, device_info);
  if (!device) return false;
  const std::optional<std::u16string>* value = property_of(*device, property);
  if (!value || !value->has_value()) return fail(kErrorInvalidData);
  const std::vector<std::uint8_t> bytes = property_bytes(**value, !device->properties_unterminated);
  const auto needed = static_cast<std::uint32_t>(bytes.size());
  if (property_reg_data_type) *property_reg_data_type = kRegSz;
  if (required_size) *required_size = needed;
  if (!buffer && buffer_size != 0) return fail(kErrorInvalidUserBuffer);
  if (buffer_size < needed) return fail(kErrorInsufficientBuffer);
  if (device->unreadable_properties.count(property) != 0) return fail(kErrorInvalidData);
  std::copy(bytes.begin(), bytes.end(), buffer);
  return succeed();
}

bool SimulatedDeviceTree::destroy_device_info_list(DevInfoSet set) {
  const std::lock_guard lock(mutex_);
  if (sets_.erase(reinterpret_cast<std::uintptr_t>(set)) == 0) return fail(kErrorInvalidHandle);
  return succeed();
}

}  // namespace velmora
