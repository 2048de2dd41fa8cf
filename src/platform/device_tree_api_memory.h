#pragma once
// A device tree held in memory behind the SetupAPI seam: present devices in
// walk order, their USB device interfaces in enumeration order, and faults
// for each call that discovery has to survive. Each device information set
// works on a snapshot of the tree taken when it was opened, so the tree may
// be replaced (camera plugged, driver bound) between scans from any thread.
// The simulator's scenarios and the libusb device list are served by it.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/device_tree_api.h"

namespace velmora {

struct SimulatedDevice {
  std::u16string instance_id;
  // String properties; nullopt when the device has none (no driver: no service).
  std::optional<std::u16string> description;     // SPDRP_DEVICEDESC
  std::optional<std::u16string> friendly_name;   // SPDRP_FRIENDLYNAME
  std::optional<std::u16string> driver_service;  // SPDRP_SERVICE

  // Faults.
  std::uint32_t enum_error = 0;                   // SetupDiEnumDeviceInfo fails at this device's index with this code
  bool instance_id_unreadable = false;            // SetupDiGetDeviceInstanceIdW always fails
  std::set<std::uint32_t> unreadable_properties;  // the size is reported, the read fails
  bool properties_unterminated = false;           // string properties stored without their terminating zero
};

struct SimulatedInterface {
  std::size_t device = 0;  // index into SimulatedDeviceTreeConfig::devices
  std::u16string device_path;

  // Faults.
  std::uint32_t enum_error = 0;                       // SetupDiEnumDeviceInterfaces fails at this index with this code
  std::optional<std::uint32_t> reported_detail_size;  // replaces the true size in the size query
  bool detail_unreadable = false;                     // the size is reported, the detail read fails
};

struct SimulatedDeviceTreeConfig {
  std::vector<SimulatedDevice> devices;        // present devices, in walk order
  std::vector<SimulatedInterface> interfaces;  // USB device interfaces, in enumeration order
  bool class_devs_fails = false;               // SetupDiGetClassDevsW returns an invalid set
  // What SetupDiEnumDeviceInterfaces reports past the last interface.
  std::uint32_t interface_error_past_end = 259;
};

// Adds a device and, when interface_path is given, its USB device interface.
void add_device(SimulatedDeviceTreeConfig& tree, SimulatedDevice device,
                std::optional<std::u16string> interface_path = std::nullopt);

class SimulatedDeviceTree final : public DeviceTreeApi {
 public:
  explicit SimulatedDeviceTree(SimulatedDeviceTreeConfig config = {});

  DevInfoSet get_class_devs(const Guid* class_guid, std::uint32_t flags) override;
  bool enum_device_interfaces(DevInfoSet set, const DevInfoData* device_info, const Guid& interface_class_guid,
                              std::uint32_t member_index, DeviceInterfaceData* interface_data) override;
  bool get_device_interface_detail(DevInfoSet set, const DeviceInterfaceData* interface_data, void* detail,
                                   std::uint32_t detail_size, std::uint32_t* required_size,
                                   DevInfoData* device_info) override;
  bool enum_device_info(DevInfoSet set, std::uint32_t member_index, DevInfoData* device_info) override;
  bool get_device_instance_id(DevInfoSet set, const DevInfoData* device_info, char16_t* buffer,
                              std::uint32_t buffer_size, std::uint32_t* required_size) override;
  bool get_device_registry_property(DevInfoSet set, const DevInfoData* device_info, std::uint32_t property,
                                    std::uint32_t* property_reg_data_type, std::uint8_t* buffer,
                                    std::uint32_t buffer_size, std::uint32_t* required_size) override;
  bool destroy_device_info_list(DevInfoSet set) override;

  // Takes effect for sets opened afterwards.
  void replace(SimulatedDeviceTreeConfig config);
  SimulatedDeviceTreeConfig config() const;

  // Sets opened and not yet destroyed.
  std::size_t open_sets() const;
  // Calls made, for proving what a scan did or did not read.
  std::uint64_t interface_enumerations() const;
  std::uint64_t detail_reads() const;  // SetupDiGetDeviceInterfaceDetailW calls with a buffer
  std::uint64_t device_enumerations() const;
  std::uint64_t property_reads() const;

 private:
  enum class SetKind { Interfaces, AllDevices, Nothing };
  struct OpenSet {
    SetKind kind = SetKind::Nothing;
    std::shared_ptr<const SimulatedDeviceTreeConfig> tree;
  };

  // Null after setting the last error when the set is unknown.
  const OpenSet* find_set(DevInfoSet set) const;
  const SimulatedDevice* find_device(const OpenSet& set, const DevInfoData* device_info) const;

  mutable std::mutex mutex_;
  std::shared_ptr<const SimulatedDeviceTreeConfig> tree_;
  std::map<std::uintptr_t, OpenSet> sets_;
  std::uintptr_t next_set_ = 0x5E70000;
  std::uint64_t interface_enumerations_ = 0;
  std::uint64_t detail_reads_ = 0;
  std::uint64_t device_enumerations_ = 0;
  std::uint64_t property_reads_ = 0;
};

}  // namespace velmora
