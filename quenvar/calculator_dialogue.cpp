#include "calculator_dialogue.h"

#include <iomanip>
#include <istream>
#include <limits>
#include <new>
#include <optional>
#include <ostream>
#include <string>

#include "energy_file.h"
#include "energy_reader.h"
#include "file_names.h"
#include "temperature_answer.h"

namespace quenvar {
namespace {

void say(std::ostream& out, const std::string& message) { out << message << '\n' << std::flush; }

bool inputEnded(std::ostream& out) {
    say(out, "\nError! Input ended before all answers were given.");
    return false;
}

// Reads the series from the named file. Returns the message that refuses the file, or nothing
// when it yields a usable, non-empty series.
std::optional<std::string> readSeriesFrom(const std::string& name, EnergySeries& series) {
    EnergyFileReading reading = detail::readEnergyFile(name);
    switch (reading.verdict) {
        case EnergyFileReading::Verdict::kUnreadable:
            return "Error! Can not open input file " + name;
        case EnergyFileReading::Verdict::kMalformedLine:
            return "Error! Line " + std::to_string(reading.malformedLine) + " of input file " + name +
                   " does not begin with " + std::to_string(kEnergyColumn) + " numbers";
        case EnergyFileReading::Verdict::kOutOfMemory:
            return "Error! Not enough memory to read input file " + name;
        case EnergyFileReading::Verdict::kRead:
            break;
    }
    if (reading.series.empty()) return "Error! No energy data found in input file " + name;
    series = std::move(reading.series);
    return std::nullopt;
}

// Asks until a file opens and yields a usable series.
bool readSeriesDialogue(detail::Answers& in, std::ostream& out, EnergySeries& series) {
    say(out,
        "\nInput Vacuum Molecular Mechanics energy file genereated by solvbench (default: energy_MM.xvg):");
    std::string name;
    if (!detail::readFileName(in, name)) return inputEnded(out);
    while (const std::optional<std::string> refusal = readSeriesFrom(name, series)) {
        say(out, *refusal);
        say(out, "Input file name again:");
        if (!detail::readFileName(in, name)) return inputEnded(out);
    }
    return true;
}

void discardRestOfLine(std::istream& in) { in.ignore(std::numeric_limits<std::streamsize>::max(), '\n'); }

bool askTemperature(std::istream& in, std::ostream& out, double& temperature) {
    say(out, "\nInput temperature (K, eg. 298.15):");
    for (;;) {
        if ((in >> std::ws).eof()) return inputEnded(out);
        if (const std::optional<double> answer = readTemperature(in)) {
            temperature = *answer;
            return true;
        }
        // A refused answer takes the rest of its line with it, so "abc def" is one mistake.
        in.clear();
        discardRestOfLine(in);
        say(out, "Error! Temperature must be a positive number in K.");
        say(out, "Input temperature again:");
    }
}

int dialogue(detail::Answers& in, std::ostream& out) {
    say(out, "Quenvar Program, v1.0");
    say(out, "Written by Venmark");
    say(out, "Please always cite: J. Am. Chem. Soc (2016):jacs.6b02682");

    EnergySeries series;
    if (!readSeriesDialogue(in, out, series)) return 1;
    double temperature = 0.0;
    if (!askTemperature(in, out, temperature)) return 1;

    const double result = estimateEntropyTerm(series, temperature);
    out << "\nQuenvar: " << std::setw(10) << result << " (KJ/mol)\n" << std::flush;

    discardRestOfLine(in);
    say(out, "\nPress any key to exit...");
    in.get();
    return 0;
}

}  // namespace

int runQuenvar(std::istream& in, std::ostream& out) {
    try {
        detail::Answers answers(in);
        return dialogue(answers, out);
    } catch (const std::bad_alloc&) {
        // Only an answer of hundreds of megabytes gets here: a file that does not fit is refused
        // above, and nothing else grows.
        say(out, "\nError! Not enough memory to read the answer.");
        return 1;
    }
}

}  // namespace quenvar
