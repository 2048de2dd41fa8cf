#include "protocol/exchange.h"

#include <algorithm>
#include <span>
#include <vector>

#include "base/text.h"

namespace velmora {

void send_command(ExchangeContext& context, std::initializer_list<std::uint8_t> command, const std::string& label) {
  const std::vector<std::uint8_t> bytes(command);
  bulk_write(context.session, kCommandPipe, bytes, context.log, context.clock.elapsed_ms(), label);
}

StatusResponse request_status(ExchangeContext& context, const std::string& step) {
  send_command(context, {kRequestStatus}, step + " / request status");
  const auto bytes = bulk_read(context.session, kStatusPipe, kStatusLength, true, context.log,
                               context.clock.elapsed_ms(), step + " / status response");
  StatusResponse status{};
  std::copy_n(bytes.begin(), kStatusLength, status.begin());
  return status;
}

bool clear_jam(ExchangeContext& context, const std::string& jam_base) {
  send_command(context, {kToken}, jam_base + " documented single-attempt jam-clear token");
  bulk_read(context.session, kStatusPipe, kStatusLength, true, context.log, context.clock.elapsed_ms(),
            jam_base + " documented jam-clear response");
  paced_sleep(context.clock.clock(), 10);
  return request_status(context, jam_base + " post-clear status")[0] != kStatusJammed;
}

bool poll_positioning(ExchangeContext& context, const std::string& poll_base, std::int32_t deadline_ms) {
  constexpr int kMaxAttempts = 256;
  Clock& clock = context.clock.clock();
  const std::int64_t start = static_cast<std::int64_t>(clock.now_ns());
  const std::int64_t deadline = start + static_cast<std::int64_t>(deadline_ms) * 1'000'000;
  const std::string suffix = " (paced; " + std::to_string(deadline_ms) + "ms deadline)";
  for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
    const auto status = request_status(context, poll_base + " positioning poll " + std::to_string(attempt) + suffix);
    if (status[0] == kStatusPositioned) return true;
    if (static_cast<std::int64_t>(clock.now_ns()) >= deadline) return false;
    if (attempt < kMaxAttempts) paced_sleep(clock, 2);
  }
  return false;
}

InitialStatusOutcome check_initial_status(ExchangeContext& context, const std::string& step,
                                          const std::string& jam_base) {
  if (request_status(context, step)[0] != kStatusJammed) return {};
  const bool cleared = clear_jam(context, jam_base);
  return {cleared, cleared};
}

void prepare_session(CameraSession& session, std::uint32_t data_timeout_ms, const char* refusal) {
  if (query_descriptors(session).pid != kCameraProductId) throw Failure(refusal);
  require_endpoint(session, kCommandPipe, kPipeTypeBulk);
  require_endpoint(session, kStatusPipe, kPipeTypeBulk);
  require_endpoint(session, kDataPipe, kPipeTypeBulk);
  set_pipe_timeout(session, kCommandPipe, 1500);
  set_pipe_timeout(session, kStatusPipe, 1500);
  set_pipe_timeout(session, kDataPipe, data_timeout_ms);
}

namespace {

// What tells the sequences apart, in the camera's own step names.
struct SequenceSteps {
  const char* name;          // start, operation, poll and jam steps
  const char* address_name;  // address and final-token steps
  std::uint8_t operation;
  bool values_in_labels;  // the address labels carry the byte sent
  std::int32_t poll_deadline_ms;
  const char* still_jammed;  // nullptr: the sequence opens without a status request
  const char* not_positioned;
  const char* final_response;
};

constexpr SequenceSteps kSequences[] = {
    {"INIT", "INIT", 0xB5, true, 250, nullptr,
     "Camera did not acknowledge INIT memory positioning within the 250 ms paced deadline",
     "INIT final 16-byte response"},
    {"GET_DATA", "GET_DATA", 0x0F, true, 2000,
     "Camera still reports jammed status 0x02 after the single documented GET_DATA jam-clear attempt",
     "Camera did not acknowledge config-data positioning within the 2000 ms paced deadline", "GET_DATA final response"},
    {"PHOTO GET_DATA", "PHOTO", 0x0F, false, 2000,
     "Camera remains jammed after the single documented photo-download clear attempt",
     "Camera did not acknowledge photo positioning within the 2000 ms paced deadline", "PHOTO final response"},
};

// A command followed by its status request under the same step name.
void command_with_status(ExchangeContext& context, std::initializer_list<std::uint8_t> command,
                         const std::string& step) {
  send_command(context, command, step);
  request_status(context, step);
}

}  // namespace

std::string run_sequence(ExchangeContext& context, Sequence sequence, const SequenceAddress& address) {
  const SequenceSteps& steps = kSequences[static_cast<int>(sequence)];
  const std::string name = steps.name;
  if (steps.still_jammed && !check_initial_status(context, name + " initial status", name).ok) {
    return steps.still_jammed;
  }
  const auto address_step = [&](int byte) {
    const std::uint8_t value = address[static_cast<std::size_t>(byte - 1)];
    std::string label = std::string(steps.address_name) + " address byte " + std::to_string(byte);
    if (steps.values_in_labels) label += " = 0x" + hex_bytes(std::span(&value, 1));
    return label;
  };
  command_with_status(context, {kToken, kStartCommand}, name + " start 0x51");
  command_with_status(context, {kToken, steps.operation},
                      name + " operation 0x" + hex_bytes(std::span(&steps.operation, 1)));
  command_with_status(context, {kToken, address[0]}, address_step(1));
  send_command(context, {kToken, address[1]}, address_step(2) + "; begin bounded positioning poll");
  if (!poll_positioning(context, name, steps.poll_deadline_ms)) return steps.not_positioned;
  for (int byte = 3; byte <= 6; ++byte) command_with_status(context, {kToken, address[byte - 1]}, address_step(byte));

  send_command(context, {kToken}, std::string(steps.address_name) + " final data-intent token");
  bulk_read(context.session, kStatusPipe, kStatusLength, true, context.log, context.clock.elapsed_ms(),
            steps.final_response);
  paced_sleep(context.clock.clock(), 10);  // before the data phase
  return {};
}

}  // namespace velmora
