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
constexpr std::uint8_t kInitOperation = 0xB5;
constexpr std::uint8_t kGetDataOperation = 0x0F;
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

// The opening of every command sequence: one status request and, on a jam,
// one clear. Returns false when the jam persists.
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

// The lone final data-intent token, its 16-byte response, and the pause
// before the data phase.
void finish_sequence(ExchangeContext& context, const std::string& token_step, const std::string& response_label);

// A command followed by its status request under the same step name.
void command_with_status(ExchangeContext& context, std::initializer_list<std::uint8_t> command,
                         const std::string& step);

}  // namespace velmora
