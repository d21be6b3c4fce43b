// A whole quenvar run: the answers and the energy file "e.xvg" come from the fuzz input; a
// directory "d" stands by as a name that cannot be read. Any run ends with status 0 or 1,
// and a finished run prints a finite term.
#include <cmath>
#include <cstdlib>

#include "calculator_dialogue.h"
#include "whole_run.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) { return enterScratchDirectory(argc, argv); }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [status, transcript] = runWhole(data, size, "e.xvg", quenvar::runQuenvar);

    if (transcript.rfind("Quenvar Program, v1.0\n", 0) != 0) failRun("the banner is missing", transcript);
    if (status == 1) {
        if (!transcript.ends_with("\nError! Input ended before all answers were given.\n")) {
            failRun("status 1 without its message", transcript);
        }
        return 0;
    }
    if (status != 0) failRun("unexpected exit status", transcript);
    const std::size_t at = transcript.find("\nQuenvar: ");
    if (at == std::string::npos) failRun("a finished run without its result", transcript);
    const double result = std::strtod(transcript.c_str() + at + 10, nullptr);
    if (!std::isfinite(result)) failRun("the result is not finite", transcript);
    return 0;
}
