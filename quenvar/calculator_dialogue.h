#pragma once

#include <iosfwd>
#include <optional>

namespace quenvar {

// The whole console dialogue; returns the process exit status.
int runQuenvar(std::istream& in, std::ostream& out);

namespace detail {

// Reads one number from `in` as `in >> double` reads it, with the same grammar as the file's
// numbers: leading white space is skipped, and only the characters extraction takes are taken.
// Nothing where extraction fails (not a number, or beyond the range of double).
std::optional<double> readNumber(std::istream& in);

}  // namespace detail
}  // namespace quenvar
