#pragma once
// The only code that opens the camera and moves bytes to and from it. Every
// transfer handed to WinUSB is logged, failed and short ones included, before
// any error is raised.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/camera_format.h"
#include "link/transfer_log.h"
#include "link/win32_failure.h"
#include "platform/usb_api.h"

namespace velmora {

constexpr std::uint8_t kCommandPipe = 0x04;
constexpr std::uint8_t kStatusPipe = 0x83;
constexpr std::uint8_t kDataPipe = 0x82;
constexpr std::size_t kMaxCommandBytes = 16;
constexpr std::uint64_t kMaxReadBytes = 8192;

struct CameraDescriptors;

// One open camera; move-only, closes itself. Its handles are reached only
// through the transfer functions below, so every transfer is logged.
class CameraSession {
 public:
  CameraSession() = default;
  CameraSession(CameraSession&& other) noexcept;
  CameraSession& operator=(CameraSession&& other) noexcept;
  CameraSession(const CameraSession&) = delete;
  CameraSession& operator=(const CameraSession&) = delete;
  ~CameraSession();

  bool is_open() const { return winusb_ != nullptr; }
  // Times the protocol operations run on this session. Only on an opened session.
  Clock& clock() const { return *clock_; }

 private:
  CameraSession(UsbApi& usb, Clock& clock, OsHandle file, WinUsbHandle winusb, std::u16string path)
      : usb_(&usb), clock_(&clock), file_(file), winusb_(winusb), path_(std::move(path)) {}

  friend CameraSession open_camera(UsbApi& usb, const std::u16string& path, Clock& clock);
  friend void close_camera(CameraSession& session) noexcept;
  friend CameraDescriptors query_descriptors(CameraSession& session);
  friend void require_endpoint(CameraSession& session, std::uint8_t address, std::int32_t pipe_type);
  friend void set_pipe_timeout(CameraSession& session, std::uint8_t address, std::uint32_t milliseconds);
  friend void bulk_write(CameraSession& session, std::uint8_t endpoint, std::span<const std::uint8_t> command,
                         TransferLog& log, std::uint64_t elapsed_ms, const std::string& label);
  friend std::vector<std::uint8_t> bulk_read(CameraSession& session, std::uint8_t endpoint, std::uint64_t length,
                                             bool exact, TransferLog& log, std::uint64_t elapsed_ms,
                                             const std::string& label);

  UsbApi* usb_ = nullptr;
  Clock* clock_ = nullptr;
  OsHandle file_ = invalid_os_handle();
  WinUsbHandle winusb_ = nullptr;
  std::u16string path_;
};

struct EndpointInfo {
  std::uint8_t address = 0;
  std::uint32_t pipe_type = 0;
  std::uint16_t max_packet_size = 0;
  std::uint8_t interval = 0;
};

struct CameraDescriptors {
  std::u16string opened_path;
  std::uint16_t vid = 0;
  std::uint16_t pid = 0;
  std::uint16_t bcd_usb = 0;
  std::uint16_t bcd_device = 0;
  std::uint8_t device_class = 0;
  std::uint8_t device_subclass = 0;
  std::uint8_t device_protocol = 0;
  std::uint8_t num_configurations = 0;
  std::uint8_t interface_number = 0;
  std::uint8_t interface_class = 0;
  std::uint8_t interface_subclass = 0;
  std::uint8_t interface_protocol = 0;
  std::vector<EndpointInfo> endpoints;
};

CameraSession open_camera(UsbApi& usb, const std::u16string& path, Clock& clock = system_clock());
void close_camera(CameraSession& session) noexcept;
CameraDescriptors query_descriptors(CameraSession& session);
void require_endpoint(CameraSession& session, std::uint8_t address, std::int32_t pipe_type);
void set_pipe_timeout(CameraSession& session, std::uint8_t address, std::uint32_t milliseconds);
void bulk_write(CameraSession& session, std::uint8_t endpoint, std::span<const std::uint8_t> command, TransferLog& log,
                std::uint64_t elapsed_ms, const std::string& label);
std::vector<std::uint8_t> bulk_read(CameraSession& session, std::uint8_t endpoint, std::uint64_t length, bool exact,
                                    TransferLog& log, std::uint64_t elapsed_ms, const std::string& label);

}  // namespace velmora
