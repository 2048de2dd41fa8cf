#include "sim/simulated_camera.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "platform/last_error.h"
#include "protocol/pat.h"
#include "protocol/photo_fetch.h"

namespace velmora::sim {
namespace {

// Handles are small tokens, never dereferenced.
OsHandle file_token(std::uint64_t serial) {
  return reinterpret_cast<OsHandle>(static_cast<std::uintptr_t>(0x10000 + serial * 16));
}
WinUsbHandle interface_token(std::uint64_t serial) {
  return reinterpret_cast<WinUsbHandle>(static_cast<std::uintptr_t>(0x20000 + serial * 16));
}

int pipe_slot(std::uint8_t pipe) {
  switch (pipe) {
    case 0x04: return 0;
    case 0x83: return 1;
    case 0x82: return 2;
    default: return -1;
  }
}

}  // namespace

SimulatedCameraConfig with_realistic_timing(SimulatedCameraConfig config) {
  // Full-speed USB: about one frame per small transfer, about 1 MB/s of bulk data.
  config.command_latency_ms = 1;
  config.status_latency_ms = 1;
  config.data_latency_ms_per_8k = 8;
  return config;
}

SimulatedCamera::SimulatedCamera(SimulatedCameraConfig config, Clock& clock)
    : config_(std::move(config)), clock_(clock) {
  if (config_.image.directory.size() < kDirectoryBytes) config_.image.directory.resize(kDirectoryBytes, 0);
}

std::uint32_t SimulatedCamera::pipe_timeout(std::uint8_t pipe) const {
  const int slot = pipe_slot(pipe);
  return slot < 0 ? 0 : timeouts_[slot];
}

bool SimulatedCamera::fail(std::uint32_t code) {
  set_last_error(code);
  return false;
}

void SimulatedCamera::charge(std::uint32_t ms) {
  if (ms != 0) clock_.sleep(ms);
}

OsHandle SimulatedCamera::create_file(const std::u16string& path) {
  if (unplugged_) return fail(kErrorFileNotFound), invalid_os_handle();
  if (config_.create_file_error != 0) return fail(config_.create_file_error), invalid_os_handle();
  std::u16string lower_path = path, lower_own = config_.device_path;
  for (auto* s : {&lower_path, &lower_own}) {
    for (auto& c : *s) c = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
  }
  if (lower_path != lower_own) return fail(kErrorFileNotFound), invalid_os_handle();
  current_file_ = ++handle_serial_;
  ++open_files_;
  return file_token(current_file_);
}

bool SimulatedCamera::close_handle(OsHandle file) {
  if (current_file_ == 0 || file != file_token(current_file_)) return fail(kErrorInvalidHandle);
  current_file_ = 0;
  --open_files_;
  if (config_.close_handle_sets_error != 0) set_last_error(config_.close_handle_sets_error);
  return true;
}

bool SimulatedCamera::initialize(OsHandle file, WinUsbHandle* interface_handle) {
  *interface_handle = nullptr;
  if (current_file_ == 0 || file != file_token(current_file_)) return fail(kErrorInvalidHandle);
  if (unplugged_) return fail(kErrorDeviceNotConnected);
  if (config_.initialize_error != 0) return fail(config_.initialize_error);
  current_interface_ = ++handle_serial_;
  ++open_interfaces_;
  ++openings_;
  transfers_in_opening_ = 0;
  sequences_in_opening_ = 0;
  std::fill(std::begin(timeouts_), std::end(timeouts_), 0u);
  // A new opening finds the camera idle.
  phase_ = Phase::Idle;
  sequence_open_ = false;
  status_pending_ = false;
  polling_ = false;
  data_ = {};
  jammed_ = false;
  *interface_handle = interface_token(current_interface_);
  return true;
}

bool SimulatedCamera::free(WinUsbHandle interface_handle) {
  if (current_interface_ == 0 || interface_handle != interface_token(current_interface_)) {
    return fail(kErrorInvalidHandle);
  }
  current_interface_ = 0;
  --open_interfaces_;
  return true;
}

bool SimulatedCamera::check_interface(WinUsbHandle handle) {
  if (current_interface_ == 0 || handle != interface_token(current_interface_)) return fail(kErrorInvalidHandle);
  if (unplugged_) return fail(kErrorDeviceNotConnected);
  return true;
}

bool SimulatedCamera::get_descriptor(WinUsbHandle interface_handle, std::uint8_t descriptor_type, std::uint8_t index,
                                     std::uint16_t language_id, std::uint8_t* buffer, std::uint32_t buffer_length,
                                     std::uint32_t* length_transferred) {
  *length_transferred = 0;
  if (!check_interface(interface_handle)) return false;
  ++descriptor_requests_;
  if (descriptor_type != kUsbDeviceDescriptorType || index != 0 || language_id != 0) {
    violations_.push_back("descriptor request other than the device descriptor");
  }
  if (config_.get_descriptor_error != 0) return fail(config_.get_descriptor_error);
  const std::vector<std::uint8_t> device = device_descriptor();
  const std::uint32_t n = std::min<std::uint32_t>({buffer_length, config_.device_descriptor_length, 18});
  std::memcpy(buffer, device.data(), n);
  *length_transferred = n;
  return true;
}

std::vector<std::uint8_t> SimulatedCamera::device_descriptor() const {
  auto lo = [](std::uint16_t v) { return static_cast<std::uint8_t>(v); };
  auto hi = [](std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); };
  return {18,
          1,
          lo(config_.bcd_usb),
          hi(config_.bcd_usb),
          0,
          0,
          0,
          64,
          lo(config_.vid),
          hi(config_.vid),
          lo(config_.pid),
          hi(config_.pid),
          lo(config_.bcd_device),
          hi(config_.bcd_device),
          1,
          2,
          0,
          1};
}

std::uint8_t SimulatedCamera::declared_endpoint_count() const {
  return config_.declared_endpoint_count.value_or(static_cast<std::uint8_t>(config_.endpoints.size()));
}

std::vector<std::uint8_t> SimulatedCamera::configuration_descriptor() const {
  std::vector<std::uint8_t> bytes = {9,    2,    0,    0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, declared_endpoint_count(),
                                     0xFF, 0xFF, 0xFF, 0};
  for (const SimulatedEndpoint& e : config_.endpoints) {
    bytes.insert(bytes.end(),
                 {7, 5, e.address, static_cast<std::uint8_t>(e.pipe_type), static_cast<std::uint8_t>(e.max_packet_size),
                  static_cast<std::uint8_t>(e.max_packet_size >> 8), e.interval});
  }
  bytes[2] = static_cast<std::uint8_t>(bytes.size());
  bytes[3] = static_cast<std::uint8_t>(bytes.size() >> 8);
  return bytes;
}

bool SimulatedCamera::query_interface_settings(WinUsbHandle interface_handle, std::uint8_t alternate_setting,
                                               UsbInterfaceDescriptor* descriptor) {
  if (!check_interface(interface_handle)) return false;
  if (config_.interface_settings_error != 0) return fail(config_.interface_settings_error);
  if (alternate_setting != 0) return fail(kErrorNoMoreItems);
  *descriptor = UsbInterfaceDescriptor{9, 4, 0, 0, declared_endpoint_count(), 0xFF, 0xFF, 0xFF, 0};
  return true;
}

bool SimulatedCamera::query_pipe(WinUsbHandle interface_handle, std::uint8_t alternate_setting, std::uint8_t pipe_index,
                                 PipeInformation* pipe_information) {
  if (!check_interface(interface_handle)) return false;
  ++query_pipe_calls_;
  if (alternate_setting != 0 || pipe_index >= config_.endpoints.size()) return fail(kErrorNoMoreItems);
  const SimulatedEndpoint& e = config_.endpoints[pipe_index];
  if (e.query_fails) return fail(kErrorGenFailure);
  *pipe_information = PipeInformation{e.pipe_type, e.address, e.max_packet_size, e.interval};
  return true;
}

bool SimulatedCamera::set_pipe_policy(WinUsbHandle interface_handle, std::uint8_t pipe_id, std::uint32_t policy_type,
                                      std::uint32_t value_length, const void* value) {
  if (!check_interface(interface_handle)) return false;
  if (policy_type != kPipeTransferTimeout || value_length != 4) {
    violations_.push_back("pipe policy other than PIPE_TRANSFER_TIMEOUT");
  }
  if (config_.set_pipe_policy_error != 0) return fail(config_.set_pipe_policy_error);
  const int slot = pipe_slot(pipe_id);
  if (slot < 0) return fail(kErrorInvalidHandle);
  std::uint32_t ms = 0;
  std::memcpy(&ms, value, sizeof ms);
  timeouts_[slot] = ms;
  return true;
}

std::optional<FaultAction> SimulatedCamera::consult_fault(std::uint8_t endpoint, bool write) {
  ++transfers_in_opening_;
  ++total_transfers_;
  if (config_.unplug_after_transfers != 0 && total_transfers_ > config_.unplug_after_transfers) {
    unplugged_ = true;
  }
  if (unplugged_) return FaultAction{FaultAction::Kind::Unplug};
  if (!config_.fault) return std::nullopt;
  TransferContext context;
  context.opening = openings_;
  context.transfer = transfers_in_opening_;
  context.total_transfer = total_transfers_;
  context.endpoint = endpoint;
  context.write = write;
  context.directory_data = !write && endpoint == 0x82 && reading_directory_;
  context.photo_ordinal = photo_ordinal_;
  context.chunk = (!write && endpoint == 0x82 && !reading_directory_) ? chunk_ + 1 : 0;
  auto action = config_.fault(context);
  if (action && action->kind == FaultAction::Kind::Unplug) unplugged_ = true;
  return action;
}

bool SimulatedCamera::write_pipe(WinUsbHandle interface_handle, std::uint8_t pipe_id, const std::uint8_t* buffer,
                                 std::uint32_t buffer_length, std::uint32_t* length_transferred) {
  *length_transferred = 0;
  if (!check_interface(interface_handle)) return false;
  if (pipe_id != 0x04) {
    violations_.push_back("write to pipe other than 0x04");
    return fail(kErrorInvalidHandle);
  }
  host_writes_.emplace_back(buffer, buffer + buffer_length);
  const auto fault = consult_fault(pipe_id, true);
  charge(config_.command_latency_ms);
  if (fault) {
    switch (fault->kind) {
      case FaultAction::Kind::Unplug: return fail(kErrorDeviceNotConnected);
      case FaultAction::Kind::Fail:
        if (fault->error_code == kErrorSemTimeout && config_.charge_timeouts) charge(timeouts_[0]);
        return fail(fault->error_code);
      case FaultAction::Kind::Short:
        // Only a write that lost bytes keeps its command from the camera;
        // one that moved every byte is an ordinary write.
        *length_transferred = std::min(fault->length, buffer_length);
        if (*length_transferred < buffer_length) return true;
        break;
    }
  }
  on_command(buffer, buffer_length);
  *length_transferred = buffer_length;
  return true;
}

void SimulatedCamera::begin_sequence_if_idle() {
  if (sequence_open_) return;
  sequence_open_ = true;
  ++sequences_in_opening_;
  ++total_sequences_;
  data_ = {};
  reading_directory_ = false;
  if (config_.jam_at && config_.jam_at(SequenceContext{openings_, sequences_in_opening_, total_sequences_})) {
    jammed_ = true;
  }
}

std::uint8_t SimulatedCamera::status_byte() {
  if (phase_ == Phase::Idle) return jammed_ ? 0x02 : 0x00;
  if (polling_) {
    ++polls_;
    const int needed = (operation_ == 0x0F && config_.get_data_ack_after_polls >= 0) ? config_.get_data_ack_after_polls
                                                                                     : config_.ack_after_polls;
    const bool enough_polls = needed > 0 && polls_ >= needed;
    const bool enough_time = clock_.now_ns() - poll_start_ns_ >= config_.ack_after_ms * 1'000'000;
    if (enough_polls && enough_time) return 0x0A;
    return config_.unacknowledged_status;
  }
  return config_.ordinary_status;
}

void SimulatedCamera::on_command(const std::uint8_t* bytes, std::uint32_t length) {
  const char* violation = nullptr;
  if (length == 1 && bytes[0] == 0x21) {
    answer_status_request();
  } else if (length == 1 && bytes[0] == 0x19) {
    violation = take_token();
  } else if (length == 2 && bytes[0] == 0x19) {
    violation = take_value(bytes[1]);
  } else {
    violation = "unknown command";
  }
  if (violation == nullptr) return;
  std::string text = std::string(violation) + ":";
  if (length != 0) text += " " + hex_bytes(std::span(bytes, length));
  violations_.push_back(text);
}

void SimulatedCamera::answer_status_request() {
  if (phase_ == Phase::Idle) begin_sequence_if_idle();
  pending_status_ = status_byte();
  status_pending_ = true;
}

const char* SimulatedCamera::take_token() {
  if (phase_ == Phase::Address && address_.size() == 6) {
    phase_ = Phase::AwaitFinal;
  } else if (phase_ == Phase::Idle) {
    // The jam-clear token.
    if (config_.jam_clear_works) jammed_ = false;
  } else {
    return "token out of sequence";
  }
  pending_status_ = 0x00;
  status_pending_ = true;
  return nullptr;
}

const char* SimulatedCamera::take_value(std::uint8_t value) {
  const bool poll_unanswered = polling_ && phase_ == Phase::Address && address_.size() == 2;
  if (value == 0x51 && (phase_ == Phase::Idle || poll_unanswered)) {
    // A host that gave up on a sequence starts over; the camera follows.
    if (phase_ == Phase::Idle) begin_sequence_if_idle();
    phase_ = Phase::Started;
    polling_ = false;
    address_.clear();
    return nullptr;
  }
  if (phase_ == Phase::Started) {
    operation_ = value;
    phase_ = Phase::Address;
    address_.clear();
    return value != 0xB5 && value != 0x0F ? "unknown operation" : nullptr;
  }
  if (phase_ != Phase::Address) return "command out of sequence";
  if (address_.size() >= 6) return "seventh address byte";
  address_.push_back(value);
  polling_ = address_.size() == 2;
  if (polling_) {
    polls_ = 0;
    poll_start_ns_ = clock_.now_ns();
  }
  return operation_ == 0xB5 && value != 0 ? "INIT address byte not zero" : nullptr;
}

void SimulatedCamera::prepare_data() {
  phase_ = Phase::Idle;
  sequence_open_ = false;
  polling_ = false;
  data_ = {};
  reading_directory_ = false;
  chunk_ = 0;
  if (operation_ != 0x0F) return;
  const bool directory = std::all_of(address_.begin(), address_.end(), [](std::uint8_t b) { return b == 0; });
  if (directory) {
    reading_directory_ = true;
    data_.bytes = config_.image.directory;
    if (config_.damage_directory) config_.damage_directory(openings_, data_.bytes);
    return;
  }
  ++photo_ordinal_;
  const std::uint32_t location = address_[0] | (address_[1] << 8) | (address_[2] << 16);
  const std::uint64_t size = address_[3] | (address_[4] << 8) | (address_[5] << 16);
  const std::uint64_t transfer = photo_transfer_length(size);
  data_.bytes.assign(transfer, 0);
  for (std::uint32_t i = 0; i < kPhotoLeadIn; ++i) data_.bytes[i] = static_cast<std::uint8_t>(0xA0 ^ i);
  const auto it = config_.image.photos.find(location);
  if (it != config_.image.photos.end()) {
    const std::size_t n = std::min<std::size_t>(it->second.size(), size);
    std::copy_n(it->second.begin(), n, data_.bytes.begin() + kPhotoLeadIn);
  }
}

bool SimulatedCamera::read_pipe(WinUsbHandle interface_handle, std::uint8_t pipe_id, std::uint8_t* buffer,
                                std::uint32_t buffer_length, std::uint32_t* length_transferred) {
  *length_transferred = 0;
  if (!check_interface(interface_handle)) return false;
  if (pipe_id != 0x83 && pipe_id != 0x82) {
    violations_.push_back("read from pipe other than 0x83 or 0x82");
    return fail(kErrorInvalidHandle);
  }
  if (buffer_length > 8192) violations_.push_back("read longer than 8192 bytes");
  const auto fault = consult_fault(pipe_id, false);
  const int slot = pipe_slot(pipe_id);
  auto time_out = [&] {
    if (config_.charge_timeouts) charge(timeouts_[slot]);
    return fail(kErrorSemTimeout);
  };
  if (fault && fault->kind == FaultAction::Kind::Unplug) return fail(kErrorDeviceNotConnected);
  if (fault && fault->kind == FaultAction::Kind::Fail) {
    if (fault->error_code == kErrorSemTimeout) return time_out();
    return fail(fault->error_code);
  }

  std::vector<std::uint8_t> answer;
  if (pipe_id == 0x83) {
    if (!status_pending_) return time_out();
    charge(config_.status_latency_ms);
    answer.assign(16, 0);
    answer[0] = pending_status_;
    status_pending_ = false;
    if (phase_ == Phase::AwaitFinal) prepare_data();
  } else {
    if (data_.offset >= data_.bytes.size()) return time_out();
    const std::size_t n = std::min<std::size_t>(buffer_length, data_.bytes.size() - data_.offset);
    charge(static_cast<std::uint32_t>((std::uint64_t{config_.data_latency_ms_per_8k} * n + 8191) / 8192));
    answer.assign(data_.bytes.begin() + static_cast<std::ptrdiff_t>(data_.offset),
                  data_.bytes.begin() + static_cast<std::ptrdiff_t>(data_.offset + n));
    data_.offset += n;
    ++chunk_;
  }
  std::uint32_t n = std::min<std::uint32_t>(buffer_length, static_cast<std::uint32_t>(answer.size()));
  if (fault && fault->kind == FaultAction::Kind::Short) n = std::min(n, fault->length);
  std::memcpy(buffer, answer.data(), n);
  *length_transferred = n;
  return true;
}

}  // namespace velmora::sim
