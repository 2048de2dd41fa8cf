// Implementation here must contain only generic Windows code: each method is
// one call of the function it mirrors.
#include <windows.h>
#include <winusb.h>

#include "platform/usb_api.h"

namespace velmora {
namespace {

static_assert(sizeof(UCHAR) == 1 && sizeof(USHORT) == 2 && sizeof(ULONG) == 4);

class WinUsbApi final : public UsbApi {
 public:
  OsHandle create_file(const std::u16string& path) override {
    return ::CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  }
  bool close_handle(OsHandle file) override { return ::CloseHandle(file) != FALSE; }
  bool initialize(OsHandle file, WinUsbHandle* interface_handle) override {
    WINUSB_INTERFACE_HANDLE handle = nullptr;
    const BOOL ok = ::WinUsb_Initialize(file, &handle);
    *interface_handle = ok ? handle : nullptr;
    return ok != FALSE;
  }
  bool free(WinUsbHandle interface_handle) override { return ::WinUsb_Free(interface_handle) != FALSE; }
  bool get_descriptor(WinUsbHandle interface_handle, std::uint8_t descriptor_type, std::uint8_t index,
                      std::uint16_t language_id, std::uint8_t* buffer, std::uint32_t buffer_length,
                      std::uint32_t* length_transferred) override {
    ULONG transferred = 0;
    const BOOL ok = ::WinUsb_GetDescriptor(interface_handle, descriptor_type, index, language_id, buffer, buffer_length,
                                           &transferred);
    *length_transferred = transferred;
    return ok != FALSE;
  }
  bool query_interface_settings(WinUsbHandle interface_handle, std::uint8_t alternate_setting,
                                UsbInterfaceDescriptor* descriptor) override {
    USB_INTERFACE_DESCRIPTOR raw{};
    const BOOL ok = ::WinUsb_QueryInterfaceSettings(interface_handle, alternate_setting, &raw);
    if (ok) {
      *descriptor = UsbInterfaceDescriptor{
          raw.bLength,         raw.bDescriptorType,    raw.bInterfaceNumber,   raw.bAlternateSetting, raw.bNumEndpoints,
          raw.bInterfaceClass, raw.bInterfaceSubClass, raw.bInterfaceProtocol, raw.iInterface};
    }
    return ok != FALSE;
  }
  bool query_pipe(WinUsbHandle interface_handle, std::uint8_t alternate_setting, std::uint8_t pipe_index,
                  PipeInformation* pipe_information) override {
    WINUSB_PIPE_INFORMATION raw{};
    const BOOL ok = ::WinUsb_QueryPipe(interface_handle, alternate_setting, pipe_index, &raw);
    if (ok) {
      *pipe_information =
          PipeInformation{static_cast<std::uint32_t>(raw.PipeType), raw.PipeId, raw.MaximumPacketSize, raw.Interval};
    }
    return ok != FALSE;
  }
  bool set_pipe_policy(WinUsbHandle interface_handle, std::uint8_t pipe_id, std::uint32_t policy_type,
                       std::uint32_t value_length, const void* value) override {
    return ::WinUsb_SetPipePolicy(interface_handle, pipe_id, policy_type, value_length, const_cast<void*>(value)) !=
           FALSE;
  }
  bool write_pipe(WinUsbHandle interface_handle, std::uint8_t pipe_id, const std::uint8_t* buffer,
                  std::uint32_t buffer_length, std::uint32_t* length_transferred) override {
    ULONG transferred = 0;
    const BOOL ok =
        ::WinUsb_WritePipe(interface_handle, pipe_id, const_cast<PUCHAR>(buffer), buffer_length, &transferred, nullptr);
    *length_transferred = transferred;
    return ok != FALSE;
  }
  bool read_pipe(WinUsbHandle interface_handle, std::uint8_t pipe_id, std::uint8_t* buffer, std::uint32_t buffer_length,
                 std::uint32_t* length_transferred) override {
    ULONG transferred = 0;
    const BOOL ok = ::WinUsb_ReadPipe(interface_handle, pipe_id, buffer, buffer_length, &transferred, nullptr);
    *length_transferred = transferred;
    return ok != FALSE;
  }
};

}  // namespace

UsbApi& winusb_api() {
  static WinUsbApi api;
  return api;
}

}  // namespace velmora
