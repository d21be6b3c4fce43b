// quenvar-report's reading of a file by its layout, on arbitrary bytes; the first byte picks the
// columns, dH's column and the model. Whatever the bytes: a file is read or refused with a
// reason, dH has a value for each frame or none, every value is finite, and a table read with
// the default columns gives quenvar's own series, bit for bit.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "energy_input.h"
#include "energy_reader.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "report input: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::vector<std::vector<std::string>> columns{{}, {"2", "3"}, {"VDWAALS", "EEL"}, {"Coul-SR:Protein-LIG", "3"}};
    quenvar_report::Options o;
    o.column = columns[data[0] % 4];
    o.enthalpy = (data[0] / 4) % 3 == 0 ? std::vector<std::string>{} : (data[0] / 4) % 3 == 1 ? std::vector<std::string>{"TOTAL"}
                                                                                               : std::vector<std::string>{"4"};
    o.model = (data[0] / 12) % 3 == 0 ? "" : (data[0] / 12) % 3 == 1 ? "gb" : "POISSON";
    const std::string contents(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::istringstream file(contents);
    const quenvar_report::EnergyInput input = quenvar_report::readEnergyInput(file, o);

    if (!input.error.empty() && (!input.energies.empty() || !input.enthalpies.empty())) fail("a refused file keeps frames");
    if (!input.enthalpies.empty() && input.enthalpies.size() != input.energies.size()) fail("dH and the energies differ in number");
    for (const std::vector<double>* series : {&input.energies, &input.enthalpies}) {
        for (double x : *series) {
            if (!std::isfinite(x)) fail("a value is not finite");
        }
    }
    if (input.layout == quenvar_report::Layout::kTable && o.column.empty() && o.enthalpy.empty()) {
        std::istringstream again(contents);
        const quenvar::EnergyFileReading reading = quenvar::readEnergySeries(again);
        if (input.error.empty() != (reading.verdict == quenvar::EnergyFileReading::Verdict::kRead)) fail("verdicts differ from quenvar's");
        if (input.error.empty() && input.energies.size() != reading.series.size()) fail("the series differs from quenvar's");
        for (std::size_t i = 0; input.error.empty() && i < input.energies.size(); ++i) {
            if (std::bit_cast<std::uint64_t>(input.energies[i]) != std::bit_cast<std::uint64_t>(reading.series[i])) {
                fail("a value differs from quenvar's");
            }
        }
    }
    return 0;
}
