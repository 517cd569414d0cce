#pragma once
// Thread priorities, as far as the system allows: a refusal changes nothing.
#include <sys/resource.h>
#include <unistd.h>

namespace plinth {

// One step above normal for the calling thread (needs privilege to take effect).
inline void RaiseThreadPriority() { setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -1); }

}  // namespace plinth
