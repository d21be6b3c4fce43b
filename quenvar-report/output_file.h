#pragma once

#include <string>

namespace quenvar_report {

// Writes `text` (with '\n' line ends, which Windows makes CRLF) to the file `name`, so that no
// half-written or stray file is ever left:
// - a name that exists and is no regular file (a FIFO, a terminal, /dev/stdout) is written
//   directly, never replaced;
// - otherwise the text goes to a new file of a unique name beside the target, created
//   exclusively, and is renamed over it once complete, with the target's permission bits; a
//   symbolic link is followed, so the link stays and what it points to is replaced.
// False where it could not be written; a temporary file is then removed.
bool writeOutputFile(const std::string& name, const std::string& text);

// Whether two names stand for the same existing file, by any path or link.
bool sameFile(const std::string& first, const std::string& second);

}  // namespace quenvar_report
