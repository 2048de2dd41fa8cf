#pragma once
// The camera's USB device calls, mirroring CreateFileW, CloseHandle and the
// WinUSB functions one to one. Every call blocks until it completes or, for
// pipe transfers, until the pipe's timeout expires. A call that returns false
// (or an invalid handle) leaves the Windows error code in the thread's last
// error (platform/last_error.h).
//
// Implementations: platform/winusb_api_win.cpp (the real device on Windows),
// platform/usb_api_libusb.cpp (the real device through libusb, native build)
// and sim/simulated_camera.cpp (the in-process simulator).

#include <cstdint>
#include <string>

namespace velmora {

using OsHandle = void*;      // a Windows HANDLE
using WinUsbHandle = void*;  // a WINUSB_INTERFACE_HANDLE

// INVALID_HANDLE_VALUE.
inline OsHandle invalid_os_handle() { return reinterpret_cast<OsHandle>(static_cast<std::intptr_t>(-1)); }

// USB_INTERFACE_DESCRIPTOR (9 bytes).
struct UsbInterfaceDescriptor {
  std::uint8_t b_length = 0;
  std::uint8_t b_descriptor_type = 0;
  std::uint8_t b_interface_number = 0;
  std::uint8_t b_alternate_setting = 0;
  std::uint8_t b_num_endpoints = 0;
  std::uint8_t b_interface_class = 0;
  std::uint8_t b_interface_sub_class = 0;
  std::uint8_t b_interface_protocol = 0;
  std::uint8_t i_interface = 0;
};

// WINUSB_PIPE_INFORMATION.
struct PipeInformation {
  std::uint32_t pipe_type = 0;  // USBD_PIPE_TYPE: 0 control, 1 isochronous, 2 bulk, 3 interrupt
  std::uint8_t pipe_id = 0;
  std::uint16_t maximum_packet_size = 0;
  std::uint8_t interval = 0;
};

constexpr std::uint32_t kPipeTypeBulk = 2;
constexpr std::uint32_t kPipeTransferTimeout = 3;  // PIPE_TRANSFER_TIMEOUT
constexpr std::uint8_t kUsbDeviceDescriptorType = 1;

class UsbApi {
 public:
  virtual ~UsbApi() = default;

  // CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
  // nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr).
  // Returns invalid_os_handle() on failure.
  virtual OsHandle create_file(const std::u16string& path) = 0;
  // CloseHandle.
  virtual bool close_handle(OsHandle file) = 0;
  // WinUsb_Initialize.
  virtual bool initialize(OsHandle file, WinUsbHandle* interface_handle) = 0;
  // WinUsb_Free.
  virtual bool free(WinUsbHandle interface_handle) = 0;
  // WinUsb_GetDescriptor.
  virtual bool get_descriptor(WinUsbHandle interface_handle, std::uint8_t descriptor_type, std::uint8_t index,
                              std::uint16_t language_id, std::uint8_t* buffer, std::uint32_t buffer_length,
                              std::uint32_t* length_transferred) = 0;
  // WinUsb_QueryInterfaceSettings.
  virtual bool query_interface_settings(WinUsbHandle interface_handle, std::uint8_t alternate_setting,
                                        UsbInterfaceDescriptor* descriptor) = 0;
  // WinUsb_QueryPipe.
  virtual bool query_pipe(WinUsbHandle interface_handle, std::uint8_t alternate_setting, std::uint8_t pipe_index,
                          PipeInformation* pipe_information) = 0;
  // WinUsb_SetPipePolicy.
  virtual bool set_pipe_policy(WinUsbHandle interface_handle, std::uint8_t pipe_id, std::uint32_t policy_type,
                               std::uint32_t value_length, const void* value) = 0;
  // WinUsb_WritePipe without an OVERLAPPED structure.
  virtual bool write_pipe(WinUsbHandle interface_handle, std::uint8_t pipe_id, const std::uint8_t* buffer,
                          std::uint32_t buffer_length, std::uint32_t* length_transferred) = 0;
  // WinUsb_ReadPipe without an OVERLAPPED structure.
  virtual bool read_pipe(WinUsbHandle interface_handle, std::uint8_t pipe_id, std::uint8_t* buffer,
                         std::uint32_t buffer_length, std::uint32_t* length_transferred) = 0;
};

// The real device through WinUSB; only in the Windows build.
UsbApi& winusb_api();

}  // namespace velmora
