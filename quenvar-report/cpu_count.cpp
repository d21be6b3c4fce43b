#include "cpu_count.h"

#include <algorithm>
#include <bit>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#elif defined(_WIN32)
#include <windows.h>
#endif

namespace quenvar_report {

unsigned availableCpus() {
#if defined(__linux__)
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(std::max(CPU_COUNT(&set), 1));
#elif defined(_WIN32)
    DWORD_PTR process = 0, system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
        return static_cast<unsigned>(std::popcount(static_cast<unsigned long long>(process)));
    }
#endif
    // Beyond 1024 CPUs on Linux (a larger mask), and on other systems: the hardware's count.
    return std::max(std::thread::hardware_concurrency(), 1u);
}

}  // namespace quenvar_report
