#include "protocol/exchange.h"

#include <algorithm>
#include <vector>

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
    const auto status =
        request_status(context, poll_base + " positioning poll " + std::to_string(attempt) + suffix);
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

void command_with_status(ExchangeContext& context, std::initializer_list<std::uint8_t> command,
                         const std::string& step) {
  send_command(context, command, step);
  request_status(context, step);
}

void prepare_session(CameraSession& session, std::uint32_t data_timeout_ms, const char* refusal) {
  if (query_descriptors(session).pid != kMr97310Cif) throw Failure(refusal);
  require_endpoint(session, kCommandPipe, kPipeTypeBulk);
  require_endpoint(session, kStatusPipe, kPipeTypeBulk);
  require_endpoint(session, kDataPipe, kPipeTypeBulk);
  set_pipe_timeout(session, kCommandPipe, 1500);
  set_pipe_timeout(session, kStatusPipe, 1500);
  set_pipe_timeout(session, kDataPipe, data_timeout_ms);
}

void finish_sequence(ExchangeContext& context, const std::string& token_step, const std::string& response_label) {
  send_command(context, {kToken}, token_step);
  bulk_read(context.session, kStatusPipe, kStatusLength, true, context.log, context.clock.elapsed_ms(),
            response_label);
  paced_sleep(context.clock.clock(), 10);
}

}  // namespace velmora
