#include "calculator_dialogue.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <istream>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <system_error>

namespace {

// The characters the classic locale calls white space, which stream extraction skips.
bool isStreamSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');  // blank, or one of \t \n \v \f \r
}

bool isDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Whether a decimal number that std::from_chars found out of range is too large (as opposed
// to too small). Out of range happens only beyond 1e308 or below 1e-323, so the sign of the
// leading digit's decimal exponent decides. No floating-point value is computed here, only
// digit positions and the exponent's integer.
bool isHugeOutOfRange(const char* first, const char* last) {
    long long lead = 0;  // decimal exponent of the leading nonzero digit, before any 'e'
    bool seenNonzero = false, seenPoint = false;
    const char* p = first;
    for (; p != last && (isDigit(*p) || *p == '.'); ++p) {
        if (*p == '.') {
            seenPoint = true;
        } else if (!seenNonzero && *p != '0') {
            seenNonzero = true;
            lead = seenPoint ? lead - 1 : 0;
        } else if (seenNonzero && !seenPoint) {
            ++lead;
        } else if (!seenNonzero && seenPoint) {
            --lead;
        }
    }
    long long exponent = 0;
    if (p != last && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool negative = p != last && *p == '-';
        if (p != last && (*p == '-' || *p == '+')) ++p;
        for (; p != last && isDigit(*p); ++p) exponent = std::min(exponent * 10 + (*p - '0'), 1'000'000'000LL);
        if (negative) exponent = -exponent;
    }
    return lead + exponent >= 0;
}

// Reads one number at p as `stream >> double` would, within [p, end) where p is not white
// space. On success stores it and returns the position after it; on failure returns nullptr.
// Extraction takes an optional sign, digits with at most one point, and an exponent once a
// digit was seen; it fails when that text is not a whole number ("1e", "."), on overflow, and
// on inf/nan/hex, while underflow yields zero.
const char* extractDouble(const char* p, const char* end, double& value) {
    const bool plus = *p == '+';
    const char* body = plus ? p + 1 : p;
    const char* digits = (plus || *p == '-') ? p + 1 : p;
    if (digits == end || !(isDigit(*digits) || *digits == '.')) return nullptr;

    auto [next, ec] = std::from_chars(body, end, value);
    if (ec == std::errc::invalid_argument) return nullptr;
    // Extraction also swallows a dangling exponent ("1.5e", "2E+") and then fails on it.
    if (next != end && (*next == 'e' || *next == 'E')) {
        const bool hasExponent = std::find_if(digits, next, [](char c) { return c == 'e' || c == 'E'; }) != next;
        if (!hasExponent) return nullptr;
    }
    if (ec == std::errc::result_out_of_range) {
        if (isHugeOutOfRange(digits, next)) return nullptr;
        value = *p == '-' ? -0.0 : 0.0;
    }
    return next;
}

// Passes over a number that extraction would accept, or returns nullptr, without converting it
// where its value cannot matter: a plain decimal with no exponent and at most 300 digits before
// the point is always a finite double. Anything else goes through the full extraction.
const char* skipDouble(const char* p, const char* end) {
    const char* q = (*p == '+' || *p == '-') ? p + 1 : p;
    const char* integer = q;
    while (q != end && isDigit(*q)) ++q;
    const auto integerDigits = static_cast<std::size_t>(q - integer);
    bool anyDigit = integerDigits > 0;
    if (q != end && *q == '.') {
        const char* fraction = ++q;
        while (q != end && isDigit(*q)) ++q;
        anyDigit = anyDigit || q != fraction;
    }
    if (!anyDigit || integerDigits > 300 || (q != end && (*q == 'e' || *q == 'E'))) {
        double ignored = 0.0;
        return extractDouble(p, end, ignored);
    }
    return q;
}

enum class LineKind { kSkipped, kData, kMalformed };

LineKind parseLine(const char* p, const char* end, double& energy) {
    const auto n = static_cast<std::size_t>(end - p);
    if (std::memchr(p, '#', n) != nullptr || std::memchr(p, '@', n) != nullptr) return LineKind::kSkipped;
    for (int column = 1; column <= kEnergyColumn; ++column) {
        while (p != end && isStreamSpace(*p)) ++p;
        if (p == end) return column == 1 ? LineKind::kSkipped : LineKind::kMalformed;
        p = column == kEnergyColumn ? extractDouble(p, end, energy) : skipDouble(p, end);
        if (p == nullptr) return LineKind::kMalformed;
    }
    return LineKind::kData;
}

}  // namespace

EnergyFileReading readEnergySeries(std::istream& file, std::size_t blockSize) {
    EnergyFileReading reading;
    // Left uninitialised: only the bytes read are ever looked at.
    std::size_t capacity = std::max<std::size_t>(blockSize, 1);
    auto buffer = std::make_unique_for_overwrite<char[]>(capacity);
    std::size_t begin = 0, filled = 0;  // unconsumed bytes are buffer[begin, filled)
    bool atEnd = false;
    std::uint64_t lineNumber = 0;

    for (;;) {
        const char* base = buffer.get();
        const void* newline = std::memchr(base + begin, '\n', filled - begin);
        if (newline == nullptr && !atEnd) {
            // Keep the partial line, make room (growing only for a line longer than a block), refill.
            filled -= begin;
            if (filled == capacity) {
                auto larger = std::make_unique_for_overwrite<char[]>(capacity * 2);
                std::memcpy(larger.get(), base + begin, filled);
                buffer = std::move(larger);
                capacity *= 2;
            } else {
                std::memmove(buffer.get(), base + begin, filled);
            }
            begin = 0;
            file.read(buffer.get() + filled, static_cast<std::streamsize>(capacity - filled));
            if (file.bad()) return {.verdict = EnergyFileReading::Verdict::kUnreadable, .series = {}};
            filled += static_cast<std::size_t>(file.gcount());
            atEnd = file.eof();
            continue;
        }
        if (newline == nullptr && begin == filled) break;  // end of file at a line boundary

        const char* lineEnd = newline != nullptr ? static_cast<const char*>(newline) : base + filled;
        ++lineNumber;
        double energy = 0.0;
        switch (parseLine(base + begin, lineEnd, energy)) {
            case LineKind::kSkipped:
                break;
            case LineKind::kData:
                reading.series.push_back(energy);
                break;
            case LineKind::kMalformed:
                return {.verdict = EnergyFileReading::Verdict::kMalformedLine, .malformedLine = lineNumber, .series = {}};
        }
        begin = static_cast<std::size_t>(lineEnd - base) + (newline != nullptr ? 1 : 0);
    }
    return reading;
}

namespace {

// Every message ends its line and reaches the console at once.
void say(std::ostream& out, const std::string& message) { out << message << '\n' << std::flush; }

bool inputEnded(std::ostream& out) {
    say(out, "\nError! Input ended before all answers were given.");
    return false;
}

bool readFileName(std::istream& in, std::ostream& out, std::string& name) {
    return static_cast<bool>(in >> name) || inputEnded(out);
}

// Asks until a file opens and yields a usable, non-empty series.
bool readSeriesDialogue(std::istream& in, std::ostream& out, EnergySeries& series) {
    say(out,
        "\nInput Vacuum Molecular Mechanics energy file genereated by solvbench (default: energy_MM.xvg):");
    std::string name;
    if (!readFileName(in, out, name)) return false;
    for (;;) {
        std::ifstream file(name, std::ios::binary);
        EnergyFileReading reading;
        if (file.is_open()) reading = readEnergySeries(file);
        if (!file.is_open() || reading.verdict == EnergyFileReading::Verdict::kUnreadable) {
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
        if (in >> temperature && std::isfinite(temperature) && temperature > 0) return true;
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
