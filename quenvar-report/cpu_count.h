#pragma once

namespace quenvar_report {

// How many CPUs this process may run on: its affinity mask where the system has one (a cluster's
// job is often granted a few CPUs of a large node), else the hardware's count. At least 1.
unsigned availableCpus();

}  // namespace quenvar_report
