#pragma once

#include <iosfwd>

namespace quenvar {

// The whole console dialogue; returns the process exit status.
int runQuenvar(std::istream& in, std::ostream& out);
}  // namespace quenvar
