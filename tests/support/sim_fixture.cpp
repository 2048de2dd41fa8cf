#include "support/sim_fixture.h"

#include "base/text.h"

namespace velmora::testing {

::testing::AssertionResult only_allowed_commands(const sim::SimulatedCamera& camera) {
  for (const auto& write : camera.host_writes()) {
    const bool allowed = (write.size() == 1 && (write[0] == 0x21 || write[0] == 0x19)) ||
                         (write.size() == 2 && write[0] == 0x19);
    if (!allowed) return ::testing::AssertionFailure() << "host sent " << hex_bytes(write);
  }
  if (!camera.violations().empty()) {
    return ::testing::AssertionFailure() << "simulator saw: " << camera.violations().front();
  }
  return ::testing::AssertionSuccess();
}

}  // namespace velmora::testing
