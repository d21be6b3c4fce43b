#include "calculator_dialogue.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iomanip>
#include <istream>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <ostream>
#include <string>

#include "common_line_fast_path.h"
#include "decimal_conversion.h"
#include "energy_file.h"
#include "extraction_grammar.h"

namespace {

// Within a line, the characters the classic locale calls white space, which extraction skips:
// blank, \t, \v, \f and \r (the line's own end, \n, is never inside it).
bool isBlankInLine(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

// Walks a line for the number grammar. A line in the buffer is always followed by '\n' (its own
// end, or a sentinel after the file's last line), which no number takes: the scan stops there
// without a bounds check and never reads beyond it.
struct LineCursor {
    const char* p;
    int peek() const { return static_cast<unsigned char>(*p); }
    void take() { ++p; }
};

// Takes the stream's characters for the number grammar one at a time, as extraction does, so
// that whatever follows the number stays for the next read.
struct StreamCursor {
    std::istream& in;
    std::string text;
    int peek() const { return in.peek(); }
    void take() { text += static_cast<char>(in.get()); }
};

// Reads one number at p as stream extraction would; returns the position after it, or nullptr
// where extraction fails (not a number, or beyond the double range; a value below the range reads
// as 0 or a subnormal). The value is converted only where it is wanted or where it might overflow.
const char* extractNumber(const char* p, double* value) {
    LineCursor cursor{p};
    const ExtractedText text = scanExtractedNumber(cursor);
    if (!text.isNumber) return nullptr;
    if (value != nullptr || text.mayOverflow) {
        const double converted = convertDecimal({p, static_cast<std::size_t>(cursor.p - p)});
        if (std::isinf(converted)) return nullptr;
        if (value != nullptr) *value = converted;
    }
    return cursor.p;
}

enum class LineKind { kSkipped, kData, kMalformed };

// [p, end) is one line, and *end is '\n'.
LineKind parseLine(const char* p, const char* end, double& energy) {
    const auto n = static_cast<std::size_t>(end - p);
    if (std::memchr(p, '#', n) != nullptr || std::memchr(p, '@', n) != nullptr) return LineKind::kSkipped;
    for (int column = 1; column <= kEnergyColumn; ++column) {
        while (isBlankInLine(*p)) ++p;
        if (p == end) return column == 1 ? LineKind::kSkipped : LineKind::kMalformed;
        p = extractNumber(p, column == kEnergyColumn ? &energy : nullptr);
        if (p == nullptr) return LineKind::kMalformed;
    }
    return LineKind::kData;
}

// Room for a block, the sentinel '\n' after it and the fast path's padding after that. Zeroed,
// so that the whole words the fast path loads near the sentinel hold no undefined bytes.
std::unique_ptr<char[]> newBuffer(std::size_t capacity) {
    return std::unique_ptr<char[]>(new char[capacity + 1 + kCommonLinePadding]());
}

// Grows the series once to what the whole file will likely need, judged from the lines read so
// far, so that a long series is neither copied as it doubles nor first touched twice: on some
// systems those page faults cost more than reading the file. An estimate that falls short only
// means the series grows as usual from there, and so does one the memory cannot hold at once
// (a sparse file can claim any size).
void reserveForWholeFile(EnergySeries& series, std::uint64_t bytesSoFar, std::uint64_t fileBytes) {
    if (series.empty() || bytesSoFar == 0 || fileBytes <= bytesSoFar) return;
    const double perLine = static_cast<double>(bytesSoFar) / static_cast<double>(series.size());
    const double lines = static_cast<double>(fileBytes) / perLine * 1.05 + 64;
    if (lines >= static_cast<double>(series.max_size())) return;
    try {
        series.reserve(static_cast<std::size_t>(lines));
    } catch (const std::bad_alloc&) {
    }
}

}  // namespace

EnergyFileReading readEnergySeries(std::istream& file, std::size_t blockSize, LinePaths paths,
                                   std::uint64_t fileBytes) {
    EnergyFileReading reading;
    std::size_t capacity = std::max<std::size_t>(blockSize, 1);
    std::unique_ptr<char[]> buffer = newBuffer(capacity);
    std::size_t begin = 0, filled = 0;  // unconsumed bytes are buffer[begin, filled), then the sentinel
    buffer[0] = '\n';
    bool atEnd = false, reserved = false;
    std::uint64_t bytesRead = 0, lineNumber = 0;
    const bool fast = kCommonLineFastPath && paths == LinePaths::kFastWhereItCan;

    for (;;) {
        const char* base = buffer.get();
        const char* line = base + begin;
        const char* blockEnd = base + filled;  // the sentinel '\n'
        // The line's end: from the fast path where it settles the line, else the first '\n'.
        double energy = 0.0;
        const char* lineEnd = fast ? readCommonDataLine(line, energy) : nullptr;
        const bool settled = lineEnd != nullptr;
        if (!settled) lineEnd = static_cast<const char*>(std::memchr(line, '\n', filled - begin + 1));

        if (lineEnd == blockEnd && !atEnd) {
            // The line goes on in the next block. Keep it, make room (growing only for a line
            // longer than a block), refill.
            filled -= begin;
            if (!reserved && !reading.series.empty()) {
                reserveForWholeFile(reading.series, bytesRead - filled, fileBytes);
                reserved = true;
            }
            if (filled == capacity) {
                std::unique_ptr<char[]> larger = newBuffer(capacity * 2);
                std::memcpy(larger.get(), line, filled);
                buffer = std::move(larger);
                capacity *= 2;
            } else {
                std::memmove(buffer.get(), line, filled);
            }
            begin = 0;
            file.read(buffer.get() + filled, static_cast<std::streamsize>(capacity - filled));
            if (file.bad()) return {.verdict = EnergyFileReading::Verdict::kUnreadable, .series = {}};
            filled += static_cast<std::size_t>(file.gcount());
            bytesRead += static_cast<std::uint64_t>(file.gcount());
            buffer[filled] = '\n';
            atEnd = file.eof();
            continue;
        }
        if (line == blockEnd) break;  // the end of the file, at a line boundary

        ++lineNumber;
        switch (settled ? LineKind::kData : parseLine(line, lineEnd, energy)) {
            case LineKind::kSkipped:
                break;
            case LineKind::kData:
                reading.series.push_back(energy);
                break;
            case LineKind::kMalformed:
                return {.verdict = EnergyFileReading::Verdict::kMalformedLine, .malformedLine = lineNumber, .series = {}};
        }
        if (lineEnd == blockEnd) break;  // the file's last line, without a line end
        begin = static_cast<std::size_t>(lineEnd - base) + 1;
    }
    return reading;
}

std::optional<double> readNumber(std::istream& in) {
    StreamCursor cursor{in >> std::ws, {}};
    if (!scanExtractedNumber(cursor).isNumber) return std::nullopt;
    const double value = convertDecimal(cursor.text);
    if (std::isinf(value)) return std::nullopt;
    return value;
}

namespace {

// Every message ends its line and reaches the console at once.
void say(std::ostream& out, const std::string& message) { out << message << '\n' << std::flush; }

bool inputEnded(std::ostream& out) {
    say(out, "\nError! Input ended before all answers were given.");
    return false;
}

// One file name: a word, or, when the answer begins with a double quote, everything up to the
// closing quote, blanks included (a Windows console types a dragged-in path that way). An
// unclosed quote takes the rest of the line.
bool readFileName(std::istream& in, std::ostream& out, std::string& name) {
    if ((in >> std::ws).peek() != '"') return static_cast<bool>(in >> name) || inputEnded(out);
    in.get();
    name.clear();
    for (int c = in.peek(); c != '"' && c != '\n' && c != std::char_traits<char>::eof(); c = in.peek()) {
        name += static_cast<char>(in.get());
    }
    if (in.peek() == '"') in.get();
    return true;
}

// Asks until a file opens and yields a usable, non-empty series.
bool readSeriesDialogue(std::istream& in, std::ostream& out, EnergySeries& series) {
    say(out,
        "\nInput Vacuum Molecular Mechanics energy file genereated by solvbench (default: energy_MM.xvg):");
    std::string name;
    if (!readFileName(in, out, name)) return false;
    for (;;) {
        EnergyFile file(name);
        EnergyFileReading reading;
        if (file.isOpen()) {
            reading = readEnergySeries(file.stream(), kEnergyBlockSize, LinePaths::kFastWhereItCan, file.size());
        }
        if (!file.isOpen() || reading.verdict == EnergyFileReading::Verdict::kUnreadable) {
            say(out, "Error! Can not open input file " + name);
        } else if (reading.verdict == EnergyFileReading::Verdict::kMalformedLine) {
            say(out, "Error! Line " + std::to_string(reading.malformedLine) + " of input file " + name +
                         " does not begin with " + std::to_string(kEnergyColumn) + " numbers");
        } else if (reading.series.empty()) {
            say(out, "Error! No energy data found in input file " + name);
        } else {
            series = std::move(reading.series);
            return true;
        }
        say(out, "Input file name again:");
        if (!readFileName(in, out, name)) return false;
    }
}

void discardRestOfLine(std::istream& in) { in.ignore(std::numeric_limits<std::streamsize>::max(), '\n'); }

bool readTemperature(std::istream& in, std::ostream& out, double& temperature) {
    say(out, "\nInput temperature (K, eg. 298.15):");
    for (;;) {
        if ((in >> std::ws).eof()) return inputEnded(out);
        const std::optional<double> answer = readNumber(in);
        if (answer && *answer > 0) {
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

}  // namespace

int runQuenvar(std::istream& in, std::ostream& out) {
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
