#pragma once
// The local wall-clock texts a download puts into folder and file names. The
// job reads them through this seam so tests and demonstrations can fix them.

#include <string>

namespace velmora {

struct LocalDateTime {
  int year = 0;
  int month = 0;  // 1-12
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Mirrors GetLocalTime: the current local date and time. Never blocks.
LocalDateTime read_local_time();

class LocalTime {
 public:
  virtual ~LocalTime() = default;
  // "%y%m%d%H%M%S" (261205143007).
  virtual std::string timestamp_text() = 0;
  // "%Y-%m-%d" (2026-12-05).
  virtual std::string date_text() = 0;
};

// The texts of read_local_time(), read anew on every call.
LocalTime& system_local_time();

// Always the same instant until told otherwise.
class FixedLocalTime final : public LocalTime {
 public:
  FixedLocalTime(std::string timestamp, std::string date) : timestamp_(std::move(timestamp)), date_(std::move(date)) {}
  std::string timestamp_text() override { return timestamp_; }
  std::string date_text() override { return date_; }
  void set(std::string timestamp, std::string date) {
    timestamp_ = std::move(timestamp);
    date_ = std::move(date);
  }

 private:
  std::string timestamp_;
  std::string date_;
};

}  // namespace velmora
