#pragma once
// An in-process MR97310 camera behind the USB seam: descriptors, the three
// bulk pipes, the status state machine, directory and photo memory, fault
// injection, and a record of every byte the host sent.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/camera_format.h"
#include "platform/clock.h"
#include "platform/usb_api.h"
#include "sim/camera_image.h"
#include "sim/simulated_device_tree.h"

namespace velmora::sim {

// The device the simulated device tree lists.
inline const std::u16string kSimulatedDevicePath{kSimulatedDeviceIdentity.device_path};

struct SimulatedEndpoint {
  std::uint8_t address = 0;
  std::uint32_t pipe_type = kPipeTypeBulk;
  std::uint16_t max_packet_size = 64;
  std::uint8_t interval = 0;
  bool query_fails = false;  // WinUsb_QueryPipe fails for this index
};

// Where in the conversation a transfer happens; handed to the fault hook.
struct TransferContext {
  int opening = 0;                   // 1-based count of successful openings of the device
  std::uint64_t transfer = 0;        // 1-based pipe transfer count within this opening
  std::uint64_t total_transfer = 0;  // 1-based pipe transfer count since the device was created
  std::uint8_t endpoint = 0;
  bool write = false;
  bool directory_data = false;  // a read of the directory area on pipe 0x82
  int photo_ordinal = 0;        // 1-based count of photo requests since creation; 0 if none
  int chunk = 0;                // 1-based data read within the current photo; 0 otherwise
};

struct FaultAction {
  enum class Kind { Fail, Short, Unplug } kind = Kind::Fail;
  std::uint32_t error_code = kErrorSemTimeout;  // for Fail
  std::uint32_t length = 0;                     // for Short: bytes moved
};

// Where a sequence starts: the first status request after opening or after a
// completed sequence.
struct SequenceContext {
  int opening = 0;
  int sequence = 0;        // 1-based within the opening
  int total_sequence = 0;  // 1-based since creation
};

struct SimulatedCameraConfig {
  std::uint16_t vid = kCameraVendorId;
  std::uint16_t pid = kCameraProductId;
  std::uint16_t bcd_usb = 0x0110;
  std::uint16_t bcd_device = 0x0100;
  std::uint32_t device_descriptor_length = 18;  // fewer bytes returned when smaller
  std::u16string device_path = kSimulatedDevicePath;
  std::vector<SimulatedEndpoint> endpoints = {{0x04}, {0x83}, {0x82}};
  std::optional<std::uint8_t> declared_endpoint_count;  // bNumEndpoints, when not endpoints.size()

  // Windows error codes for calls that fail outright (0: succeed).
  std::uint32_t create_file_error = 0;
  std::uint32_t initialize_error = 0;
  std::uint32_t close_handle_sets_error = 0;  // last error left by a (successful) CloseHandle
  std::uint32_t get_descriptor_error = 0;
  std::uint32_t interface_settings_error = 0;
  std::uint32_t set_pipe_policy_error = 0;

  // Positioning acknowledgement: 0x0A after this many poll requests (0: never),
  // and not before this much time since the address byte that starts the poll.
  int ack_after_polls = 1;
  std::uint64_t ack_after_ms = 0;
  int get_data_ack_after_polls = -1;  // when >= 0, replaces ack_after_polls for GET_DATA positioning
  std::uint8_t unacknowledged_status = 0x00;
  std::uint8_t ordinary_status = 0x00;  // answer to status requests that nobody examines

  // Jam: consulted when a sequence starts; a jam makes the initial status 0x02.
  std::function<bool(const SequenceContext&)> jam_at;
  bool jam_clear_works = true;

  // Per-transfer faults, consulted before each pipe transfer.
  std::function<std::optional<FaultAction>(const TransferContext&)> fault;
  // Damage the directory bytes of one read (opening number given).
  std::function<void(int opening, std::vector<std::uint8_t>& directory)> damage_directory;
  // Unplug after this many pipe transfers since creation (0: never).
  std::uint64_t unplug_after_transfers = 0;

  // Simulated latency, charged on the clock (Clock::sleep).
  std::uint32_t command_latency_ms = 0;
  std::uint32_t status_latency_ms = 0;
  std::uint32_t data_latency_ms_per_8k = 0;
  bool charge_timeouts = true;  // a timed-out transfer sleeps for the pipe's timeout

  CameraImage image;
};

// Timing of a full-speed USB camera, for the demonstration.
SimulatedCameraConfig with_realistic_timing(SimulatedCameraConfig config);

// Holds no state outside the instance and sets the last error on the calling
// thread, so any one thread at a time may drive it: the usbfs emulator calls
// it from its worker thread, serialised by its own lock.
class SimulatedCamera final : public UsbApi {
 public:
  explicit SimulatedCamera(SimulatedCameraConfig config, Clock& clock = system_clock());

  OsHandle create_file(const std::u16string& path) override;
  bool close_handle(OsHandle file) override;
  bool initialize(OsHandle file, WinUsbHandle* interface_handle) override;
  bool free(WinUsbHandle interface_handle) override;
  bool get_descriptor(WinUsbHandle interface_handle, std::uint8_t descriptor_type, std::uint8_t index,
                      std::uint16_t language_id, std::uint8_t* buffer, std::uint32_t buffer_length,
                      std::uint32_t* length_transferred) override;
  bool query_interface_settings(WinUsbHandle interface_handle, std::uint8_t alternate_setting,
                                UsbInterfaceDescriptor* descriptor) override;
  bool query_pipe(WinUsbHandle interface_handle, std::uint8_t alternate_setting, std::uint8_t pipe_index,
                  PipeInformation* pipe_information) override;
  bool set_pipe_policy(WinUsbHandle interface_handle, std::uint8_t pipe_id, std::uint32_t policy_type,
                       std::uint32_t value_length, const void* value) override;
  bool write_pipe(WinUsbHandle interface_handle, std::uint8_t pipe_id, const std::uint8_t* buffer,
                  std::uint32_t buffer_length, std::uint32_t* length_transferred) override;
  bool read_pipe(WinUsbHandle interface_handle, std::uint8_t pipe_id, std::uint8_t* buffer, std::uint32_t buffer_length,
                 std::uint32_t* length_transferred) override;

  // Everything the host wrote to pipe 0x04, one entry per write, in order.
  const std::vector<std::vector<std::uint8_t>>& host_writes() const { return host_writes_; }
  // Requests outside the camera's allowed command set, in words.
  const std::vector<std::string>& violations() const { return violations_; }
  // Calls of each kind, for proving that nothing was requested.
  std::uint64_t pipe_transfers() const { return total_transfers_; }
  std::uint64_t descriptor_requests() const { return descriptor_requests_; }
  std::uint64_t query_pipe_calls() const { return query_pipe_calls_; }
  int openings() const { return openings_; }
  int open_handles() const { return open_files_ + open_interfaces_; }
  bool unplugged() const { return unplugged_; }
  // Any thread: the cable is pulled or pushed back in.
  void unplug() { unplugged_ = true; }
  void replug() { unplugged_ = false; }
  const SimulatedCameraConfig& config() const { return config_; }
  // The standard descriptors this camera answers with: the 18-byte device
  // descriptor and its one configuration (interface 0 and its endpoints).
  std::vector<std::uint8_t> device_descriptor() const;
  std::vector<std::uint8_t> configuration_descriptor() const;
  std::uint32_t pipe_timeout(std::uint8_t pipe) const;

 private:
  enum class Phase { Idle, Started, Operation, Address, AwaitFinal };
  struct PendingRead {
    std::vector<std::uint8_t> bytes;
    std::size_t offset = 0;
  };

  std::uint8_t declared_endpoint_count() const;
  bool check_interface(WinUsbHandle handle);
  bool fail(std::uint32_t code);
  void on_command(const std::uint8_t* bytes, std::uint32_t length);
  void answer_status_request();
  // The two command kinds of a sequence; each returns the violation it
  // records, or null.
  const char* take_token();
  const char* take_value(std::uint8_t value);
  void begin_sequence_if_idle();
  std::uint8_t status_byte();
  void prepare_data();
  void charge(std::uint32_t ms);
  std::optional<FaultAction> consult_fault(std::uint8_t endpoint, bool write);

  SimulatedCameraConfig config_;
  Clock& clock_;

  std::atomic<bool> unplugged_ = false;
  int openings_ = 0;
  int open_files_ = 0;
  int open_interfaces_ = 0;
  std::uint64_t handle_serial_ = 0;
  std::uint64_t current_file_ = 0;
  std::uint64_t current_interface_ = 0;
  std::uint32_t timeouts_[3] = {0, 0, 0};  // pipes 0x04, 0x83, 0x82

  std::uint64_t transfers_in_opening_ = 0;
  std::uint64_t total_transfers_ = 0;
  std::uint64_t descriptor_requests_ = 0;
  std::uint64_t query_pipe_calls_ = 0;

  // Command state machine.
  Phase phase_ = Phase::Idle;
  bool sequence_open_ = false;  // a sequence has started (initial status seen)
  int sequences_in_opening_ = 0;
  int total_sequences_ = 0;
  bool jammed_ = false;
  std::uint8_t operation_ = 0;
  std::vector<std::uint8_t> address_;
  bool polling_ = false;
  int polls_ = 0;
  std::uint64_t poll_start_ns_ = 0;
  bool status_pending_ = false;
  std::uint8_t pending_status_ = 0;
  PendingRead data_;
  int photo_ordinal_ = 0;
  int chunk_ = 0;
  bool reading_directory_ = false;

  std::vector<std::vector<std::uint8_t>> host_writes_;
  std::vector<std::string> violations_;
};

}  // namespace velmora::sim
