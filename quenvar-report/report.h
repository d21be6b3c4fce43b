#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quenvar_report {

// The whole program over its arguments (the program's name left out): the report on `out`,
// messages on `err`, standard input on `in` for a file named "-". Returns the exit status: 0
// when every file was reported, 1 when any failed, 2 for a usage error.
int runReport(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace quenvar_report
