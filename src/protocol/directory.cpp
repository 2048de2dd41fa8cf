#include "protocol/directory.h"

#include "protocol/exchange.h"

namespace velmora {
namespace {

// Address bytes 3 to 6 of a phase, each followed by its status request.
void address_tail(ExchangeContext& context, const std::string& phase) {
  for (int byte = 3; byte <= 6; ++byte) {
    command_with_status(context, {kToken, 0x00}, phase + " address byte " + std::to_string(byte) + " = 0x00");
  }
}

// Returns an error text, or empty when the phase completed.
std::string init_phase(ExchangeContext& context) {
  command_with_status(context, {kToken, kStartCommand}, "INIT start 0x51");
  command_with_status(context, {kToken, kInitOperation}, "INIT operation 0xb5");
  command_with_status(context, {kToken, 0x00}, "INIT address byte 1 = 0x00");
  send_command(context, {kToken, 0x00}, "INIT address byte 2 = 0x00; begin bounded positioning poll");
  if (!poll_positioning(context, "INIT", 250)) {
    return "Camera did not acknowledge INIT memory positioning within the 250 ms paced deadline";
  }
  address_tail(context, "INIT");
  finish_sequence(context, "INIT final data-intent token", "INIT final 16-byte response");
  return {};
}

std::string get_data_phase(ExchangeContext& context, std::vector<std::uint8_t>& pat) {
  if (!check_initial_status(context, "GET_DATA initial status", "GET_DATA").ok) {
    return "Camera still reports jammed status 0x02 after the single documented GET_DATA jam-clear attempt";
  }
  command_with_status(context, {kToken, kStartCommand}, "GET_DATA start 0x51");
  command_with_status(context, {kToken, kGetDataOperation}, "GET_DATA operation 0x0f");
  command_with_status(context, {kToken, 0x00}, "GET_DATA address byte 1 = 0x00");
  send_command(context, {kToken, 0x00}, "GET_DATA address byte 2 = 0x00; begin bounded positioning poll");
  if (!poll_positioning(context, "GET_DATA", 2000)) {
    return "Camera did not acknowledge config-data positioning within the 2000 ms paced deadline";
  }
  address_tail(context, "GET_DATA");
  finish_sequence(context, "GET_DATA final data-intent token", "GET_DATA final response");
  pat = bulk_read(context.session, kDataPipe, kDirectoryBytes, true, context.log, context.clock.elapsed_ms(),
                  "bounded read-only 8192-byte configuration/PAT read");
  return {};
}

}  // namespace

DirectoryReadResult read_directory(CameraSession& session) {
  prepare_session(session, 3000, "0.6.1 active operations are intentionally limited to verified CIF PID 010e");

  DirectoryReadResult result;
  const OperationClock clock = OperationClock::start(*session.clock);
  ExchangeContext context{session, result.log, clock};
  std::vector<std::uint8_t> pat;
  try {
    const InitialStatusOutcome initial = check_initial_status(context, "initial status", "INITIAL");
    if (!initial.ok) {
      result.error = "Camera still reports jammed status 0x02 after the single documented initial jam-clear attempt";
      return result;
    }
    // A successful clear leaves the camera ready for GET_DATA directly.
    if (!initial.cleared_jam) result.error = init_phase(context);
    if (result.error.empty()) result.error = get_data_phase(context, pat);
  } catch (const std::exception& e) {
    result.error = e.what();
  }
  if (result.error.empty()) {
    result.pat = std::move(pat);
    result.ok = true;
  }
  return result;
}

}  // namespace velmora
