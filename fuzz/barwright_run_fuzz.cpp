// A whole barwright run: the answers and the summary file "s.dat" come from the fuzz input;
// a directory "d" stands by as a name that cannot be read. Every chart announced and not
// refused is on disk afterwards, no temporary file is left, and the status says how it went.
// The messages are matched from the start of their line: an input file name is echoed in
// the middle of one and may hold any of their words.
#include <filesystem>

#include "converter_dialogue.h"
#include "whole_run.h"

namespace fs = std::filesystem;

namespace {

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) { return enterScratchDirectory(argc, argv); }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [status, transcript] = runWhole(data, size, "s.dat", barwright::runBarwright);

    std::size_t charts = 0, others = 0;
    for (const auto& entry : fs::directory_iterator(".")) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("sum_", 0) == 0 && name.size() >= 12 && name.ends_with(".xvg")) {
            ++charts;
            fs::remove(entry.path());
        } else if (name != "s.dat" && name != "d") {
            ++others;
        }
    }
    if (others != 0) failRun("a stray or temporary file was left", transcript);
    const bool finished = transcript.ends_with("\nFinished!\n\n");
    if (status != (finished ? 0 : 1)) failRun("the status does not match the transcript", transcript);
    if (charts != occurrences(transcript, "\nProcessing Complex ")) failRun("announced charts are not all on disk", transcript);
    if (occurrences(transcript, "\nError! Can not write output file ") != 0) failRun("a chart could not be written", transcript);
    return 0;
}
