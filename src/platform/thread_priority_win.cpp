#include <windows.h>

#include "platform/thread_priority.h"

namespace velmora {

void lower_current_thread_priority() { (void)SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL); }

}  // namespace velmora
