// The device-tree seam from libusb's device list. Each device information
// set is a snapshot of the list taken when it is opened; the SetupAPI
// semantics over that snapshot (enumeration order, sizes, error codes) are the
// in-memory tree's, so both answer every call alike.
#include <libusb.h>

#include <cstdio>
#include <mutex>

#include "base/camera_format.h"
#include "base/text.h"
#include "platform/device_tree_api_memory.h"
#include "platform/last_error.h"
#include "platform/libusb_api.h"
#include "platform/libusb_context.h"

namespace velmora {
namespace {

constexpr std::u16string_view kUsbfsPrefix = u"/dev/bus/usb/";

bool is_camera_family(const UsbDeviceSummary& device) {
  return device.vendor_id == kCameraVendorId &&
         (device.product_id == kCameraProductId || device.product_id == kRelatedProductId);
}

std::vector<UsbDeviceSummary> list_devices() {
  std::vector<UsbDeviceSummary> devices;
  libusb_context* context = nullptr;
  if (shared_libusb_context(&context) != LIBUSB_SUCCESS) return devices;
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context, &list);
  if (count < 0) return devices;
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device_descriptor descriptor{};
    // Read from the descriptors the system keeps; no request reaches the device.
    if (libusb_get_device_descriptor(list[i], &descriptor) != LIBUSB_SUCCESS) continue;
    UsbDeviceSummary device;
    device.bus = libusb_get_bus_number(list[i]);
    device.address = libusb_get_device_address(list[i]);
    device.vendor_id = descriptor.idVendor;
    device.product_id = descriptor.idProduct;
    device.port_path = std::to_string(device.bus);
    std::uint8_t ports[8];
    const int depth = libusb_get_port_numbers(list[i], ports, sizeof ports);
    for (int p = 0; p < depth; ++p) device.port_path += (p == 0 ? "-" : ".") + std::to_string(ports[p]);
    devices.push_back(std::move(device));
  }
  libusb_free_device_list(list, 1);
  return devices;
}

class LibusbDeviceTree final : public DeviceTreeApi {
 public:
  DevInfoSet get_class_devs(const Guid* class_guid, std::uint32_t flags) override {
    libusb_context* context = nullptr;
    const int init = shared_libusb_context(&context);
    if (init != LIBUSB_SUCCESS) {
      set_last_error(win32_error_from_libusb(init));
      return invalid_dev_info_set();
    }
    SimulatedDeviceTreeConfig snapshot;
    for (DeviceTreeEntry& entry : device_tree_entries(list_devices(), libusb_api(), camera_kernel_driver_active)) {
      SimulatedDevice device;
      device.instance_id = std::move(entry.instance_id);
      device.description = std::move(entry.description);
      device.driver_service = std::move(entry.driver_service);
      add_device(snapshot, std::move(device), std::move(entry.interface_path));
    }
    const std::lock_guard lock(mutex_);
    tree_.replace(std::move(snapshot));
    return tree_.get_class_devs(class_guid, flags);
  }
  bool enum_device_interfaces(DevInfoSet set, const DevInfoData* device_info, const Guid& interface_class_guid,
                              std::uint32_t member_index, DeviceInterfaceData* interface_data) override {
    return tree_.enum_device_interfaces(set, device_info, interface_class_guid, member_index, interface_data);
  }
  bool get_device_interface_detail(DevInfoSet set, const DeviceInterfaceData* interface_data, void* detail,
                                   std::uint32_t detail_size, std::uint32_t* required_size,
                                   DevInfoData* device_info) override {
    return tree_.get_device_interface_detail(set, interface_data, detail, detail_size, required_size, device_info);
  }
  bool enum_device_info(DevInfoSet set, std::uint32_t member_index, DevInfoData* device_info) override {
    return tree_.enum_device_info(set, member_index, device_info);
  }
  bool get_device_instance_id(DevInfoSet set, const DevInfoData* device_info, char16_t* buffer,
                              std::uint32_t buffer_size, std::uint32_t* required_size) override {
    return tree_.get_device_instance_id(set, device_info, buffer, buffer_size, required_size);
  }
  bool get_device_registry_property(DevInfoSet set, const DevInfoData* device_info, std::uint32_t property,
                                    std::uint32_t* property_reg_data_type, std::uint8_t* buffer,
                                    std::uint32_t buffer_size, std::uint32_t* required_size) override {
    return tree_.get_device_registry_property(set, device_info, property, property_reg_data_type, buffer, buffer_size,
                                              required_size);
  }
  bool destroy_device_info_list(DevInfoSet set) override { return tree_.destroy_device_info_list(set); }

 private:
  std::mutex mutex_;  // a snapshot is installed and its set opened as one step
  SimulatedDeviceTree tree_;
};

}  // namespace

std::u16string usbfs_device_path(std::uint8_t bus, std::uint8_t address) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%03u/%03u", unsigned{bus}, unsigned{address});
  return std::u16string(kUsbfsPrefix) + utf8_to_utf16(digits);
}

std::optional<std::pair<std::uint8_t, std::uint8_t>> parse_usbfs_device_path(std::u16string_view path) {
  if (path.size() != kUsbfsPrefix.size() + 7 || path.substr(0, kUsbfsPrefix.size()) != kUsbfsPrefix) {
    return std::nullopt;
  }
  const std::u16string_view rest = path.substr(kUsbfsPrefix.size());
  unsigned numbers[2] = {0, 0};
  for (int n = 0; n < 2; ++n) {
    for (int i = 0; i < 3; ++i) {
      const char16_t c = rest[n * 4 + i];
      if (c < u'0' || c > u'9') return std::nullopt;
      numbers[n] = numbers[n] * 10 + (c - u'0');
    }
  }
  if (rest[3] != u'/' || numbers[0] > 255 || numbers[1] > 255) return std::nullopt;
  return std::pair{static_cast<std::uint8_t>(numbers[0]), static_cast<std::uint8_t>(numbers[1])};
}

std::vector<DeviceTreeEntry> device_tree_entries(const std::vector<UsbDeviceSummary>& devices, UsbApi& usb,
                                                 KernelDriverQuery kernel_driver_active) {
  std::vector<DeviceTreeEntry> entries;
  for (const UsbDeviceSummary& device : devices) {
    const std::string vendor = hex_number(device.vendor_id, 4, true);
    const std::string product = hex_number(device.product_id, 4, true);
    DeviceTreeEntry entry;
    entry.instance_id =
        u"USB\\" + utf8_to_utf16("VID_" + vendor + "&PID_" + product) + u"\\" + utf8_to_utf16(device.port_path);
    entry.description = u"USB device " + utf8_to_utf16(vendor + ":" + product);
    if (is_camera_family(device)) {
      const std::u16string path = usbfs_device_path(device.bus, device.address);
      const OsHandle file = usb.create_file(path);
      if (file != invalid_os_handle()) {
        const bool held = kernel_driver_active(usb, file) == 1;
        usb.close_handle(file);
        entry.driver_service = std::u16string(held ? kKernelDriverService : kLibusbService);
        if (!held) entry.interface_path = path;
      } else if (get_last_error() == kErrorFileNotFound) {
        continue;  // unplugged since the list was read
      }
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

DeviceTreeApi& libusb_device_tree() {
  static LibusbDeviceTree tree;
  return tree;
}

}  // namespace velmora
