// What the whole-run harnesses share: one fuzz input is the answers typed at the console and
// the contents of the input file, and each run happens in a private scratch directory.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

// The answers come first, then this line, then the file. Without it, all of it is answers.
inline constexpr std::string_view kFileSeparator = "\n%%FILE%%\n";

struct WholeRunInput {
    std::string answers, file;
};

inline WholeRunInput splitWholeRunInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::size_t at = all.find(kFileSeparator);
    if (at == std::string_view::npos) return {std::string(all), {}};
    return {std::string(all.substr(0, at)), std::string(all.substr(at + kFileSeparator.size()))};
}

// Moves the process into a new directory under TMPDIR for the rest of the fuzzing session.
inline void enterScratchDirectory() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/fuzz-run-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr || chdir(pattern.c_str()) != 0) {
        std::perror("scratch directory");
        std::abort();
    }
}

inline void writeFile(const char* name, const std::string& contents) {
    std::ofstream(name, std::ios::binary | std::ios::trunc) << contents;
}

[[noreturn]] inline void failRun(const char* what, const std::string& transcript) {
    std::fprintf(stderr, "%s\n--- transcript:\n%s\n", what, transcript.c_str());
    std::abort();
}
