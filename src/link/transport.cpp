#include "link/transport.h"

#include <utility>

#include "platform/last_error.h"

namespace velmora {
namespace {

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::string short_label(const std::string& label, const char* what) {
  return label.empty() ? std::string(what) : label + "; " + what;
}

UsbInterfaceDescriptor query_alternate_setting_zero(UsbApi& usb, WinUsbHandle winusb) {
  UsbInterfaceDescriptor descriptor{};
  if (!usb.query_interface_settings(winusb, 0, &descriptor)) {
    throw Win32Failure("WinUsb_QueryInterfaceSettings");
  }
  return descriptor;
}

// Logs the failed transfer with the system's error code, then raises it; the
// log may itself touch the last-error value, so it is put back first.
[[noreturn]] void fail_transfer(TransferLog& log, TransferRecord record, const char* call) {
  const std::uint32_t code = get_last_error();
  record.ok = false;
  record.error_code = code;
  log.append(std::move(record));
  set_last_error(code);
  throw Win32Failure(call);
}

}  // namespace

CameraSession::CameraSession(CameraSession&& other) noexcept
    : usb_(other.usb_),
      clock_(other.clock_),
      file_(std::exchange(other.file_, invalid_os_handle())),
      winusb_(std::exchange(other.winusb_, nullptr)),
      path_(std::move(other.path_)) {}

CameraSession& CameraSession::operator=(CameraSession&& other) noexcept {
  if (this != &other) {
    close_camera(*this);
    usb_ = other.usb_;
    clock_ = other.clock_;
    file_ = std::exchange(other.file_, invalid_os_handle());
    winusb_ = std::exchange(other.winusb_, nullptr);
    path_ = std::move(other.path_);
  }
  return *this;
}

CameraSession::~CameraSession() { close_camera(*this); }

CameraSession open_camera(UsbApi& usb, const std::u16string& path, Clock& clock) {
  OsHandle file = usb.create_file(path);
  if (file == invalid_os_handle()) throw Win32Failure("CreateFile");
  WinUsbHandle winusb = nullptr;
  if (!usb.initialize(file, &winusb)) {
    // Closing overwrites the thread's last error; report the initialisation's.
    const std::uint32_t code = get_last_error();
    usb.close_handle(file);
    set_last_error(code);
    throw Win32Failure("WinUsb_Initialize");
  }
  return CameraSession(usb, clock, file, winusb, path);
}

void close_camera(CameraSession& session) noexcept {
  if (session.winusb_ != nullptr) {
    session.usb_->free(session.winusb_);
    session.winusb_ = nullptr;
  }
  if (session.file_ != invalid_os_handle()) {
    session.usb_->close_handle(session.file_);
    session.file_ = invalid_os_handle();
  }
}

CameraDescriptors query_descriptors(CameraSession& session) {
  CameraDescriptors d;
  d.opened_path = session.path_;

  std::uint8_t device[18] = {};
  std::uint32_t received = 0;
  if (!session.usb_->get_descriptor(session.winusb_, kUsbDeviceDescriptorType, 0, 0, device, sizeof device,
                                    &received)) {
    throw Win32Failure("WinUsb_GetDescriptor(device)");
  }
  if (received < sizeof device) throw Failure("USB device descriptor was shorter than expected");
  d.bcd_usb = le16(device + 2);
  d.device_class = device[4];
  d.device_subclass = device[5];
  d.device_protocol = device[6];
  d.vid = le16(device + 8);
  d.pid = le16(device + 10);
  d.bcd_device = le16(device + 12);
  d.num_configurations = device[17];
  if (d.vid != kCameraVendorId || (d.pid != kCameraProductId && d.pid != kRelatedProductId)) {
    throw Failure("Safety check failed: opened device is not a known MR97310 VID/PID");
  }

  const UsbInterfaceDescriptor interface = query_alternate_setting_zero(*session.usb_, session.winusb_);
  d.interface_number = interface.b_interface_number;
  d.interface_class = interface.b_interface_class;
  d.interface_subclass = interface.b_interface_sub_class;
  d.interface_protocol = interface.b_interface_protocol;

  const unsigned count = interface.b_num_endpoints < 32 ? interface.b_num_endpoints : 32;
  for (unsigned index = 0; index < count; ++index) {
    PipeInformation pipe{};
    if (!session.usb_->query_pipe(session.winusb_, 0, static_cast<std::uint8_t>(index), &pipe)) continue;
    d.endpoints.push_back(EndpointInfo{pipe.pipe_id, pipe.pipe_type, pipe.maximum_packet_size, pipe.interval});
  }
  return d;
}

void require_endpoint(CameraSession& session, std::uint8_t address, std::int32_t pipe_type) {
  const UsbInterfaceDescriptor interface = query_alternate_setting_zero(*session.usb_, session.winusb_);
  for (unsigned index = 0; index < interface.b_num_endpoints; ++index) {
    PipeInformation pipe{};
    if (session.usb_->query_pipe(session.winusb_, 0, static_cast<std::uint8_t>(index), &pipe) &&
        pipe.pipe_id == address && static_cast<std::int64_t>(pipe.pipe_type) == pipe_type) {
      return;
    }
  }
  throw Failure("Required MR97310 endpoint is missing or has unexpected type");
}

void set_pipe_timeout(CameraSession& session, std::uint8_t address, std::uint32_t milliseconds) {
  const std::uint32_t value = milliseconds;
  if (!session.usb_->set_pipe_policy(session.winusb_, address, kPipeTransferTimeout, sizeof value, &value)) {
    throw Win32Failure("WinUsb_SetPipePolicy(PIPE_TRANSFER_TIMEOUT)");
  }
}

void bulk_write(CameraSession& session, std::uint8_t endpoint, std::span<const std::uint8_t> command, TransferLog& log,
                std::uint64_t elapsed_ms, const std::string& label) {
  const std::size_t n = command.size();
  if (n == 0 || n > kMaxCommandBytes) {
    throw Failure("Safety check: command write length outside allowed 1..16 bytes");
  }
  TransferRecord record{log.next_sequence(),
                        elapsed_ms,
                        "OUT",
                        endpoint,
                        n,
                        std::vector<std::uint8_t>(command.begin(), command.end()),
                        true,
                        0,
                        label};
  std::uint32_t written = 0;
  if (!session.usb_->write_pipe(session.winusb_, endpoint, command.data(), static_cast<std::uint32_t>(n), &written)) {
    fail_transfer(log, std::move(record), "WinUsb_WritePipe");
  }
  if (written == n) {
    log.append(std::move(record));
    return;
  }
  record.ok = false;
  record.label = short_label(label, "short write");
  log.append(std::move(record));
  throw Failure("Short USB command write");
}

std::vector<std::uint8_t> bulk_read(CameraSession& session, std::uint8_t endpoint, std::uint64_t length, bool exact,
                                    TransferLog& log, std::uint64_t elapsed_ms, const std::string& label) {
  if (length == 0 || length > kMaxReadBytes) {
    throw Failure("Safety check: read length outside allowed 1..8192 bytes");
  }
  TransferRecord record{log.next_sequence(), elapsed_ms, "IN", endpoint, length, {}, true, 0, label};
  std::vector<std::uint8_t> buffer(length, 0);
  std::uint32_t received = 0;
  if (!session.usb_->read_pipe(session.winusb_, endpoint, buffer.data(), static_cast<std::uint32_t>(length),
                               &received)) {
    fail_transfer(log, std::move(record), "WinUsb_ReadPipe");
  }
  // A misbehaving driver must not make us trust bytes past our own buffer.
  if (received > length) received = static_cast<std::uint32_t>(length);
  buffer.resize(received);
  record.data = buffer;
  if (exact && received != length) {
    record.ok = false;
    record.label = short_label(label, "short read");
    log.append(std::move(record));
    throw Failure("Short USB read (expected fixed response length)");
  }
  log.append(std::move(record));
  return buffer;
}

}  // namespace velmora
