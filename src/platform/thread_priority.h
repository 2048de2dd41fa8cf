#pragma once
// The calling thread's scheduling priority, mirroring SetThreadPriority on
// the current thread.

namespace velmora {

// Mirrors SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL):
// the calling thread gives way to the process's other threads whenever they
// are ready to run. Never blocks; when the call fails the thread keeps its
// priority, which only costs speed.
void lower_current_thread_priority();

}  // namespace velmora
