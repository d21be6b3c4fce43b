#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace quenvar_report {

// The unit of the energies, which is that of every figure reported.
enum class Unit { kKJ, kKcal };

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
    // The columns summed for the energy and for dH, each a 1-based number or a name; none: the
    // layout's own. The model of the suites' CSV, and the unit, where given.
    std::vector<std::string> column, enthalpy;
    std::string model;
    std::optional<Unit> unit;
    std::vector<std::string> files;
};

// The command line's arguments (the program's name left out), or the one-line reason they are
// refused.
std::variant<Options, std::string> parseOptions(const std::vector<std::string>& args);

}  // namespace quenvar_report
