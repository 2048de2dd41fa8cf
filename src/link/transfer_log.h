#pragma once
// The record of every USB transfer an operation makes, and the clock and
// pacing that time them.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace velmora {

struct TransferRecord {
  std::uint64_t sequence = 0;    // 1-based position in its log
  std::uint64_t elapsed_ms = 0;  // from the operation's clock start, just before the transfer
  std::string direction;         // "OUT" or "IN"
  std::uint8_t endpoint = 0;
  std::uint64_t requested = 0;
  std::vector<std::uint8_t> data;  // OUT: the whole command; IN: exactly the bytes received
  bool ok = true;
  std::uint32_t error_code = 0;  // Windows error of a failed call; 0 also for a short transfer
  std::string label;
};

// Append-only: only bulk_write and bulk_read add records, so sequence numbers
// run 1, 2, 3 ... without gaps.
class TransferLog {
 public:
  using const_iterator = std::vector<TransferRecord>::const_iterator;

  const_iterator begin() const { return records_.begin(); }
  const_iterator end() const { return records_.end(); }
  std::size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  const TransferRecord& operator[](std::size_t i) const { return records_[i]; }
  const TransferRecord& back() const { return records_.back(); }
  std::uint64_t next_sequence() const { return records_.size() + 1; }

  void append(TransferRecord record) { records_.push_back(std::move(record)); }

 private:
  std::vector<TransferRecord> records_;
};

// The start instant of one protocol operation on the monotonic clock.
class OperationClock {
 public:
  static OperationClock start(Clock& clock = system_clock());
  // Whole milliseconds since start, truncated.
  std::uint64_t elapsed_ms() const;
  Clock& clock() const { return *clock_; }

 private:
  OperationClock(Clock& clock, std::uint64_t start_ns) : clock_(&clock), start_ns_(start_ns) {}
  Clock* clock_;
  std::uint64_t start_ns_;
};

// Sleeps until at least `milliseconds` of monotonic time have passed; never
// returns early. Zero or less returns at once.
void paced_sleep(Clock& clock, std::int64_t milliseconds);

}  // namespace velmora
