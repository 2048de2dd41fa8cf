// The USB seam through libusb-1.0: each method is the libusb counterpart of
// the Windows call it mirrors. Only portable libusb calls are used.
#include <libusb.h>

#include <array>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/last_error.h"
#include "platform/libusb_api.h"
#include "platform/libusb_context.h"

namespace velmora {
namespace {

constexpr int kCameraInterface = 0;  // WinUsb_Initialize opens the device's first interface

// What WinUsb_Initialize hands out: the claimed interface and the pipe
// timeouts WinUSB keeps per pipe (0: wait for ever, as WinUSB's default).
struct LibusbInterface {
  libusb_device_handle* handle = nullptr;
  std::array<std::uint32_t, 256> timeouts{};
};

bool fail_libusb(int libusb_error) {
  set_last_error(win32_error_from_libusb(libusb_error));
  return false;
}

bool fail(std::uint32_t code) {
  set_last_error(code);
  return false;
}

LibusbInterface* as_interface(WinUsbHandle handle) { return static_cast<LibusbInterface*>(handle); }
// CreateFileW's handle is the libusb device handle itself.
libusb_device_handle* as_device(OsHandle file) {
  return file == invalid_os_handle() ? nullptr : static_cast<libusb_device_handle*>(file);
}

// The active configuration's interface 0 in the given alternate setting.
class AlternateSetting {
 public:
  AlternateSetting(LibusbInterface* usb, std::uint8_t alternate) {
    if (usb == nullptr) {
      error_ = kErrorInvalidHandle;
      return;
    }
    const int r = libusb_get_active_config_descriptor(libusb_get_device(usb->handle), &config_);
    if (r != LIBUSB_SUCCESS) {
      error_ = win32_error_from_libusb(r);
      return;
    }
    for (int i = 0; i < config_->bNumInterfaces; ++i) {
      const libusb_interface& candidate = config_->interface[i];
      for (int a = 0; a < candidate.num_altsetting; ++a) {
        const libusb_interface_descriptor& d = candidate.altsetting[a];
        if (d.bInterfaceNumber == kCameraInterface && d.bAlternateSetting == alternate) setting_ = &d;
      }
    }
    if (setting_ == nullptr) error_ = kErrorNoMoreItems;
  }
  ~AlternateSetting() {
    if (config_ != nullptr) libusb_free_config_descriptor(config_);
  }
  AlternateSetting(const AlternateSetting&) = delete;
  AlternateSetting& operator=(const AlternateSetting&) = delete;

  const libusb_interface_descriptor* get() const { return setting_; }
  std::uint32_t error() const { return error_; }

 private:
  libusb_config_descriptor* config_ = nullptr;
  const libusb_interface_descriptor* setting_ = nullptr;
  std::uint32_t error_ = 0;
};

bool bulk_transfer(WinUsbHandle interface_handle, std::uint8_t pipe_id, std::uint8_t* buffer,
                   std::uint32_t buffer_length, std::uint32_t* length_transferred) {
  *length_transferred = 0;
  LibusbInterface* usb = as_interface(interface_handle);
  if (usb == nullptr) return fail(kErrorInvalidHandle);
  int transferred = 0;
  const int r = libusb_bulk_transfer(usb->handle, pipe_id, buffer, static_cast<int>(buffer_length), &transferred,
                                     usb->timeouts[pipe_id]);
  *length_transferred = transferred < 0 ? 0 : static_cast<std::uint32_t>(transferred);
  return r == LIBUSB_SUCCESS || fail_libusb(r);
}

class LibusbApi final : public UsbApi {
 public:
  OsHandle create_file(const std::u16string& path) override {
    const auto location = parse_usbfs_device_path(path);
    libusb_context* context = nullptr;
    const int init = shared_libusb_context(&context);
    if (init != LIBUSB_SUCCESS) return fail_libusb(init), invalid_os_handle();
    if (!location) return fail(kErrorFileNotFound), invalid_os_handle();
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    if (count < 0) return fail_libusb(static_cast<int>(count)), invalid_os_handle();
    int r = LIBUSB_ERROR_NO_DEVICE;
    libusb_device_handle* handle = nullptr;
    for (ssize_t i = 0; i < count; ++i) {
      if (libusb_get_bus_number(list[i]) == location->first && libusb_get_device_address(list[i]) == location->second) {
        r = libusb_open(list[i], &handle);
        break;
      }
    }
    libusb_free_device_list(list, 1);
    // A device that is gone reads as CreateFileW's missing path.
    if (r == LIBUSB_ERROR_NO_DEVICE || r == LIBUSB_ERROR_NOT_FOUND)
      return fail(kErrorFileNotFound), invalid_os_handle();
    if (r != LIBUSB_SUCCESS) return fail_libusb(r), invalid_os_handle();
    return handle;
  }

  bool close_handle(OsHandle file) override {
    libusb_device_handle* handle = as_device(file);
    if (handle == nullptr) return fail(kErrorInvalidHandle);
    libusb_close(handle);
    return true;
  }

  bool initialize(OsHandle file, WinUsbHandle* interface_handle) override {
    *interface_handle = nullptr;
    libusb_device_handle* handle = as_device(file);
    if (handle == nullptr) return fail(kErrorInvalidHandle);
    const int r = libusb_claim_interface(handle, kCameraInterface);
    if (r != LIBUSB_SUCCESS) return fail_libusb(r);
    *interface_handle = new LibusbInterface{handle, {}};
    return true;
  }

  bool free(WinUsbHandle interface_handle) override {
    LibusbInterface* usb = as_interface(interface_handle);
    if (usb == nullptr) return fail(kErrorInvalidHandle);
    libusb_release_interface(usb->handle, kCameraInterface);
    delete usb;
    return true;
  }

  bool get_descriptor(WinUsbHandle interface_handle, std::uint8_t descriptor_type, std::uint8_t index,
                      std::uint16_t language_id, std::uint8_t* buffer, std::uint32_t buffer_length,
                      std::uint32_t* length_transferred) override {
    *length_transferred = 0;
    LibusbInterface* usb = as_interface(interface_handle);
    if (usb == nullptr) return fail(kErrorInvalidHandle);
    // The same standard GET_DESCRIPTOR request WinUSB sends, with WinUSB's
    // default control time-out of five seconds.
    constexpr std::uint8_t kStandardDeviceIn = 0x80;  // device to host, standard, to the device
    const int r =
        libusb_control_transfer(usb->handle, kStandardDeviceIn, LIBUSB_REQUEST_GET_DESCRIPTOR,
                                static_cast<std::uint16_t>((descriptor_type << 8) | index), language_id, buffer,
                                static_cast<std::uint16_t>(buffer_length > 0xFFFF ? 0xFFFF : buffer_length), 5000);
    if (r < 0) return fail_libusb(r);
    *length_transferred = static_cast<std::uint32_t>(r);
    return true;
  }

  bool query_interface_settings(WinUsbHandle interface_handle, std::uint8_t alternate_setting,
                                UsbInterfaceDescriptor* descriptor) override {
    const AlternateSetting setting(as_interface(interface_handle), alternate_setting);
    if (setting.get() == nullptr) return fail(setting.error());
    const libusb_interface_descriptor& d = *setting.get();
    *descriptor = UsbInterfaceDescriptor{d.bLength,       d.bDescriptorType, d.bInterfaceNumber,   d.bAlternateSetting,
                                         d.bNumEndpoints, d.bInterfaceClass, d.bInterfaceSubClass, d.bInterfaceProtocol,
                                         d.iInterface};
    return true;
  }

  bool query_pipe(WinUsbHandle interface_handle, std::uint8_t alternate_setting, std::uint8_t pipe_index,
                  PipeInformation* pipe_information) override {
    const AlternateSetting setting(as_interface(interface_handle), alternate_setting);
    if (setting.get() == nullptr) return fail(setting.error());
    if (pipe_index >= setting.get()->bNumEndpoints) return fail(kErrorNoMoreItems);
    const libusb_endpoint_descriptor& e = setting.get()->endpoint[pipe_index];
    // USB's transfer-type bits are numbered as WinUSB's pipe types.
    *pipe_information = PipeInformation{static_cast<std::uint32_t>(e.bmAttributes & 0x03), e.bEndpointAddress,
                                        e.wMaxPacketSize, e.bInterval};
    return true;
  }

  bool set_pipe_policy(WinUsbHandle interface_handle, std::uint8_t pipe_id, std::uint32_t policy_type,
                       std::uint32_t value_length, const void* value) override {
    LibusbInterface* usb = as_interface(interface_handle);
    if (usb == nullptr) return fail(kErrorInvalidHandle);
    if (policy_type != kPipeTransferTimeout) return fail(kErrorNotSupported);
    if (value_length != sizeof(std::uint32_t) || value == nullptr) return fail(kErrorInvalidParameter);
    std::memcpy(&usb->timeouts[pipe_id], value, sizeof(std::uint32_t));
    return true;
  }

  bool write_pipe(WinUsbHandle interface_handle, std::uint8_t pipe_id, const std::uint8_t* buffer,
                  std::uint32_t buffer_length, std::uint32_t* length_transferred) override {
    if ((pipe_id & LIBUSB_ENDPOINT_IN) != 0) return *length_transferred = 0, fail(kErrorInvalidParameter);
    // libusb takes a mutable buffer for both directions; an OUT transfer only reads it.
    return bulk_transfer(interface_handle, pipe_id, const_cast<std::uint8_t*>(buffer), buffer_length,
                         length_transferred);
  }

  bool read_pipe(WinUsbHandle interface_handle, std::uint8_t pipe_id, std::uint8_t* buffer, std::uint32_t buffer_length,
                 std::uint32_t* length_transferred) override {
    if ((pipe_id & LIBUSB_ENDPOINT_IN) == 0) return *length_transferred = 0, fail(kErrorInvalidParameter);
    return bulk_transfer(interface_handle, pipe_id, buffer, buffer_length, length_transferred);
  }
};

}  // namespace

std::uint32_t win32_error_from_libusb(int libusb_error) {
  switch (libusb_error) {
    case LIBUSB_SUCCESS: return 0;
    case LIBUSB_ERROR_TIMEOUT: return kErrorSemTimeout;
    case LIBUSB_ERROR_NO_DEVICE: return kErrorDeviceNotConnected;
    case LIBUSB_ERROR_ACCESS: return kErrorAccessDenied;
    case LIBUSB_ERROR_BUSY: return kErrorBusy;
    case LIBUSB_ERROR_NOT_FOUND: return kErrorFileNotFound;
    case LIBUSB_ERROR_INVALID_PARAM: return kErrorInvalidParameter;
    case LIBUSB_ERROR_NO_MEM: return kErrorNotEnoughMemory;
    case LIBUSB_ERROR_NOT_SUPPORTED: return kErrorNotSupported;
    default: return kErrorGenFailure;  // I/O error, stall, overflow, interrupted, other
  }
}

int shared_libusb_context(libusb_context** context) {
  // libusb_init is not reentrant; the first caller opens the one context.
  static libusb_context* shared = nullptr;
  static const int result = libusb_init(&shared);
  *context = shared;
  return result;
}

int camera_kernel_driver_active(UsbApi&, OsHandle file) {
  libusb_device_handle* handle = as_device(file);
  return handle == nullptr ? LIBUSB_ERROR_INVALID_PARAM : libusb_kernel_driver_active(handle, kCameraInterface);
}

UsbApi& libusb_api() {
  static LibusbApi api;
  return api;
}

}  // namespace velmora
