#include "calculator_dialogue.h"

#include <cmath>
#include <iomanip>
#include <istream>
#include <limits>
#include <new>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

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

// Trailing punctuation a word may carry in a sentence ("25 C.").
bool isTrailingPunctuation(int c) { return c == '.' || c == ',' || c == ';' || c == ':' || c == '!' || c == '?' || c == ')'; }

// A word of an answer, lower-cased (ASCII) and without trailing punctuation. Only its first bytes
// are kept, enough for any word judged: `longer` tells that more than punctuation followed them.
struct Word {
    std::string text;
    bool longer = false;
    bool is(std::string_view other) const { return !longer && text == other; }
};

Word readWord(std::istream& in) {
    constexpr std::size_t kKept = 16;
    Word word;
    for (int c = in.peek(); c != std::char_traits<char>::eof() && !isSpace(c); c = in.peek()) {
        in.get();
        if (word.text.size() < kKept) {
            word.text += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        } else if (!isTrailingPunctuation(c)) {
            word.longer = true;
        }
    }
    while (!word.longer && !word.text.empty() && isTrailingPunctuation(word.text.back())) word.text.pop_back();
    return word;
}

// A degree sign in any encoding a console or pipe delivers (UTF-8 °, º, ℃ and ℉; 0xB0 in
// Windows-1252 and Latin-1, 0xF8 in CP437), a scale's name, or an abbreviation of "degrees".
bool namesOtherScale(const Word& word) {
    for (const std::string_view start : {"\xc2\xb0", "\xc2\xba", "\xe2\x84\x83", "\xe2\x84\x89", "\xb0", "\xf8", "deg"}) {
        if (word.text.starts_with(start)) return true;
    }
    return word.is("c") || word.is("f") || word.is("celsius") || word.is("centigrade") || word.is("fahrenheit");
}

}  // namespace

std::optional<double> readTemperature(std::istream& in) {
    const std::optional<double> number = detail::readNumber(in);
    if (!number || *number <= 0) return std::nullopt;
    const Word stuck = readWord(in);
    if (!stuck.is("") && !stuck.is("k") && !stuck.is("kelvin")) return std::nullopt;
    for (int c = in.peek(); c == ' ' || c == '\t' || c == '\v' || c == '\f'; c = in.peek()) in.get();
    if (namesOtherScale(readWord(in))) return std::nullopt;
    return number;
}

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
