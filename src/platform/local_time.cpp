#include "platform/local_time.h"

#include <cstdio>

namespace velmora {
namespace {

class SystemLocalTime final : public LocalTime {
 public:
  std::string timestamp_text() override {
    const LocalDateTime t = read_local_time();
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%02d%02d%02d%02d%02d%02d", t.year % 100, t.month, t.day, t.hour,
                                t.minute, t.second);
    return std::string(text, static_cast<std::size_t>(n));
  }
  std::string date_text() override {
    const LocalDateTime t = read_local_time();
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
    return std::string(text, static_cast<std::size_t>(n));
  }
};

}  // namespace

LocalTime& system_local_time() {
  static SystemLocalTime instance;
  return instance;
}

}  // namespace velmora
