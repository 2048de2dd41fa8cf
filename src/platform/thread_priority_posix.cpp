#include <sys/resource.h>

#include "platform/thread_priority.h"

namespace velmora {

void lower_current_thread_priority() {
  // On Linux the nice value belongs to the calling thread, not the process.
  (void)setpriority(PRIO_PROCESS, 0, 5);
}

}  // namespace velmora
