#pragma once

#include <iosfwd>

namespace barwright {

// The whole console dialogue; returns the process exit status.
int runBarwright(std::istream& in, std::ostream& out);

}  // namespace barwright
