#include "ops/local_time.h"

#include "output/naming.h"

namespace velmora {
namespace {

class SystemLocalTime final : public LocalTime {
 public:
  std::string timestamp_text() override { return local_timestamp_text(); }
  std::string date_text() override { return local_date_text(); }
};

}  // namespace

LocalTime& system_local_time() {
  static SystemLocalTime instance;
  return instance;
}

}  // namespace velmora
