// What the whole-run harnesses share: one fuzz input is the answers typed at the console and
// the contents of the input file, and each run happens in a private scratch directory.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

// The answers come first, then this line, then the file. Without it, all of it is answers.
inline constexpr std::string_view kFileSeparator = "\n%%FILE%%\n";

// Moves the process into a new directory under TMPDIR for the rest of the fuzzing session, with
// a directory "d" in it as a name that cannot be read. Paths on the command line (corpus
// directories, inputs, where findings go) are made absolute first, so they keep their meaning.
// Returns 0 for LLVMFuzzerInitialize.
inline int enterScratchDirectory(int* argc, char*** argv) {
    static std::vector<std::string> absolutePaths;
    absolutePaths.reserve(static_cast<std::size_t>(*argc));
    for (int i = 1; i < *argc; ++i) {
        const std::string arg = (*argv)[i];
        const std::size_t value = arg.rfind("-artifact_prefix=", 0) == 0       ? arg.find('=') + 1
                                  : arg.rfind("-exact_artifact_path=", 0) == 0 ? arg.find('=') + 1
                                  : arg.rfind("-", 0) == 0                     ? std::string::npos
                                                                               : 0;
        if (value == std::string::npos || value == arg.size()) continue;
        // A prefix such as "findings/" or "findings/crash-" keeps its form.
        absolutePaths.push_back(arg.substr(0, value) + std::filesystem::absolute(arg.substr(value)).string());
        (*argv)[i] = absolutePaths.back().data();
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/fuzz-run-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr || chdir(pattern.c_str()) != 0 || mkdir("d", 0755) != 0) {
        std::perror("scratch directory");
        std::abort();
    }
    return 0;
}

struct WholeRun {
    int status;
    std::string transcript;
};

// Writes the input file as `fileName`, then runs `dialogue` on the answers.
template <typename Dialogue>
WholeRun runWhole(const std::uint8_t* data, std::size_t size, const char* fileName, Dialogue dialogue) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::size_t at = all.find(kFileSeparator);
    const std::string_view file = at == std::string_view::npos ? "" : all.substr(at + kFileSeparator.size());
    std::ofstream(fileName, std::ios::binary | std::ios::trunc) << file;
    std::istringstream in(std::string(all.substr(0, at)));
    std::ostringstream out;
    const int status = dialogue(in, out);
    return {status, out.str()};
}

[[noreturn]] inline void failRun(const char* what, const std::string& transcript) {
    std::fprintf(stderr, "%s\n--- transcript:\n%s\n", what, transcript.c_str());
    std::abort();
}
