#include "calculator_dialogue.h"

#include <cmath>
#include <iomanip>
#include <istream>
#include <limits>
#include <new>
#include <optional>
#include <ostream>
#include <string>

#include "decimal_conversion.h"
#include "energy_file.h"
#include "energy_reader.h"
#include "extraction_grammar.h"
#include "file_names.h"

namespace quenvar::detail {
namespace {

// Takes the stream's characters for the number grammar one at a time, as extraction does, so
// that whatever follows the number stays for the next read.
struct StreamCursor {
    std::istream& in;
    std::string text;
    int peek() const { return in.peek(); }
    void take() { text += static_cast<char>(in.get()); }
};

}  // namespace

std::optional<double> readNumber(std::istream& in) {
    StreamCursor cursor{in >> std::ws, {}};
    if (!scanExtractedNumber(cursor).isNumber) return std::nullopt;
    const double value = convertDecimal(cursor.text);
    if (std::isinf(value)) return std::nullopt;
    return value;
}

}  // namespace quenvar::detail

namespace quenvar {
namespace {

using detail::EnergyFile;

// Every message ends its line and reaches the console at once.
void say(std::ostream& out, const std::string& message) { out << message << '\n' << std::flush; }

// The characters the classic locale calls white space, which end a word.
bool isSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool inputEnded(std::ostream& out) {
    say(out, "\nError! Input ended before all answers were given.");
    return false;
}

// Reads the series from the named file. Returns the message that refuses the file, or nothing
// when it yields a usable, non-empty series.
std::optional<std::string> readSeriesFrom(const std::string& name, EnergySeries& series) {
    try {
        EnergyFile file(name);
        EnergyFileReading reading;
        if (file.isOpen()) reading = readEnergySeries(file.stream());
        if (!file.isOpen() || reading.verdict == EnergyFileReading::Verdict::kUnreadable) {
            return "Error! Can not open input file " + name;
        }
        if (reading.verdict == EnergyFileReading::Verdict::kMalformedLine) {
            return "Error! Line " + std::to_string(reading.malformedLine) + " of input file " + name +
                   " does not begin with " + std::to_string(kEnergyColumn) + " numbers";
        }
        if (reading.series.empty()) return "Error! No energy data found in input file " + name;
        series = std::move(reading.series);
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        // What was read is gone with the stack; the next file may fit.
        return "Error! Not enough memory to read input file " + name;
    }
}

// Asks until a file opens and yields a usable series.
bool readSeriesDialogue(std::istream& in, std::ostream& out, EnergySeries& series) {
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

// Whether the number just read is meant in kelvin: it stands alone or with K after it ("298.15K",
// "298.15 kelvin"). Text stuck to it ("298,15", "25C") or another unit's name as the next word on
// its line means another number or another scale. Reads no further than that word's first
// characters, and never past the line end.
bool inKelvin(std::istream& in) {
    constexpr int kEnd = std::char_traits<char>::eof();
    int c = in.peek();
    if (c != kEnd && !isSpace(c) && c != 'K' && c != 'k') return false;
    for (; c == ' ' || c == '\t' || c == '\v' || c == '\f'; c = in.peek()) in.get();
    std::string word;  // lower case, and one character longer than any unit's name at most
    for (; c != kEnd && !isSpace(c) && word.size() <= 10; c = in.peek()) {
        in.get();
        word += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    for (const char* other : {"c", "f", "\xc2\xb0" "c", "\xc2\xb0" "f", "celsius", "fahrenheit"}) {  // ° in UTF-8
        if (word == other) return false;
    }
    return true;
}

bool readTemperature(std::istream& in, std::ostream& out, double& temperature) {
    say(out, "\nInput temperature (K, eg. 298.15):");
    for (;;) {
        if ((in >> std::ws).eof()) return inputEnded(out);
        const std::optional<double> answer = detail::readNumber(in);
        if (answer && *answer > 0 && inKelvin(in)) {
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

int dialogue(std::istream& in, std::ostream& out) {
    say(out, "Quenvar Program, v1.0");
    say(out, "Written by Venmark");
    say(out, "Please always cite: J. Am. Chem. Soc (2016):jacs.6b02682");

    EnergySeries series;
    if (!readSeriesDialogue(in, out, series)) return 1;
    double temperature = 0.0;
    if (!readTemperature(in, out, temperature)) return 1;

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
        return dialogue(in, out);
    } catch (const std::bad_alloc&) {
        // Only an answer of hundreds of megabytes gets here: a file that does not fit is refused
        // above, and nothing else grows.
        say(out, "\nError! Not enough memory to read the answer.");
        return 1;
    }
}

}  // namespace quenvar
