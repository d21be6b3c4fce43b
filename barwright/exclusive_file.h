#pragma once

#include <cstdio>
#include <filesystem>

namespace barwright::detail {

// Creates `name` for writing text, failing when something of that name exists already, so that a
// new temporary file can never take over another one. Each platform is asked in its own terms:
// fopen's "x" mode is ignored by the Windows C runtime, which has _O_EXCL instead. Returns
// nullptr on failure. Throws nothing.
std::FILE* createExclusive(const std::filesystem::path& name) noexcept;

}  // namespace barwright::detail
