#include "platform/BriefWait.h"

#include <sched.h>

namespace BriefWait {

bool Worthwhile() {
    static const bool fSeveral = [] {
        cpu_set_t set;
        CPU_ZERO(&set);
        if (sched_getaffinity(0, sizeof set, &set) != 0) return std::thread::hardware_concurrency() > 1;
        return CPU_COUNT(&set) > 1;
    }();
    return fSeveral;
}

} // namespace BriefWait
