#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace quenvar_report {

struct Options {
    enum class Action { kReport, kHelp, kVersion };
    Action action = Action::kReport;
    double temperature = 0.0;  // K
    unsigned last = 100;       // percent of the frames, counted from the end
    std::size_t resamples = 1000;
    std::uint64_t seed = 1;
    unsigned threads = 0;  // 0: as many as the CPUs the process may run on
    bool tsv = false;
    std::string plot;  // the convergence chart's file, if any
    std::vector<std::string> files;
};

// The command line's arguments (the program's name left out), or the one-line reason they are
// refused.
std::variant<Options, std::string> parseOptions(const std::vector<std::string>& args);

}  // namespace quenvar_report
