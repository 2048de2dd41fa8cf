#pragma once
// The building blocks of every MR97310 command sequence: commands on pipe
// 0x04, 16-byte status answers on pipe 0x83, the single jam clear and the
// paced positioning poll.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "link/transfer_log.h"
#include "link/transport.h"

namespace velmora {

constexpr std::uint8_t kRequestStatus = 0x21;
constexpr std::uint8_t kToken = 0x19;  // command prefix, final data-intent token and jam-clear token
constexpr std::uint8_t kStartCommand = 0x51;
constexpr std::uint8_t kStatusJammed = 0x02;
constexpr std::uint8_t kStatusPositioned = 0x0A;
constexpr std::size_t kStatusLength = 16;

using StatusResponse = std::array<std::uint8_t, kStatusLength>;

// What every block needs; owns nothing.
struct ExchangeContext {
  CameraSession& session;
  TransferLog& log;
  const OperationClock& clock;
};

void send_command(ExchangeContext& context, std::initializer_list<std::uint8_t> command, const std::string& label);
StatusResponse request_status(ExchangeContext& context, const std::string& step);
// One attempt only; true when the camera is no longer jammed.
bool clear_jam(ExchangeContext& context, const std::string& jam_base);
// True when the camera answered 0x0A before the deadline or the 256th attempt.
bool poll_positioning(ExchangeContext& context, const std::string& poll_base, std::int32_t deadline_ms);

// The opening of a command sequence: one status request and, on a jam, one
// clear. Returns false when the jam persists.
struct InitialStatusOutcome {
  bool ok = true;
  bool cleared_jam = false;
};
InitialStatusOutcome check_initial_status(ExchangeContext& context, const std::string& step,
                                          const std::string& jam_base);

// The checks every command sequence makes before its first transfer: the
// descriptors (093A:010E only, else refusal), the three bulk pipes, and their
// timeouts (1500 ms for commands and status, data_timeout_ms for data).
void prepare_session(CameraSession& session, std::uint32_t data_timeout_ms, const char* refusal);

// The three command sequences: a start command, the operation, six address
// bytes with the positioning poll after the second, and the lone final
// data-intent token with its answer. GET_DATA and PHOTO open with a status
// request and at most one jam clear.
enum class Sequence { kInit, kGetData, kPhoto };
using SequenceAddress = std::array<std::uint8_t, 6>;  // address bytes 1 to 6

// Returns an error text, or empty when the camera is ready to send its data.
std::string run_sequence(ExchangeContext& context, Sequence sequence, const SequenceAddress& address);

}  // namespace velmora
