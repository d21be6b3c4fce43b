#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "options.h"

namespace quenvar_report {

// The layouts a file may have, told apart by its first line that is neither blank nor skipped:
// a title (no comma, ending in ':' or "Energy Terms") starts the per-frame CSV of the widely used
// MM/PB(GB)SA suites; anything else, a table (an xvg file) as quenvar reads it.
enum class Layout { kTable, kSuiteCsv };

// A file's frames, as its layout and the options choose them.
struct EnergyInput {
    Layout layout = Layout::kTable;
    std::vector<double> energies, enthalpies;  // dH of each frame where the input has it, else none
    std::string error;                         // why the file cannot be used; empty where it can
};

// Reads a file (or standard input) to its end, in one pass. Memory grows with the series: of the
// text, only the lines looked at to tell the layout (at most 1 MiB) and one CSV line (cut at
// 1 MiB) are held.
EnergyInput readEnergyInput(std::istream& in, const Options& o);

}  // namespace quenvar_report
