#include "support/sim_fixture.h"

#include "support/invariants.h"

namespace velmora::test {

::testing::AssertionResult only_allowed_commands(const sim::SimulatedCamera& camera) {
  const std::string problem = test::command_problem(camera);
  if (problem.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << problem;
}

}  // namespace velmora::test
