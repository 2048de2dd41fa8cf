#include "protocol/directory.h"

#include "protocol/exchange.h"

namespace velmora {

DirectoryReadResult read_directory(CameraSession& session) {
  prepare_session(session, 3000, "0.6.1 active operations are intentionally limited to verified CIF PID 010e");

  DirectoryReadResult result;
  const OperationClock clock = OperationClock::start(session.clock());
  ExchangeContext context{session, result.log, clock};
  std::vector<std::uint8_t> pat;
  try {
    const InitialStatusOutcome initial = check_initial_status(context, "initial status", "INITIAL");
    if (!initial.ok) {
      result.error = "Camera still reports jammed status 0x02 after the single documented initial jam-clear attempt";
      return result;
    }
    // A successful clear leaves the camera ready for GET_DATA directly.
    if (!initial.cleared_jam) result.error = run_sequence(context, Sequence::kInit, {});
    if (result.error.empty()) result.error = run_sequence(context, Sequence::kGetData, {});
    if (result.error.empty()) {
      pat = bulk_read(session, kDataPipe, kDirectoryBytes, true, result.log, clock.elapsed_ms(),
                      "bounded read-only 8192-byte configuration/PAT read");
    }
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
