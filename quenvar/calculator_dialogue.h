#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>

#include "entropy_estimator.h"

// The energy is the eighth number of a data line; the seven before it are read and dropped.
inline constexpr int kEnergyColumn = 8;

struct EnergyFileReading {
    enum class Verdict {
        kRead,           // the series holds every data line's energy (it may be empty)
        kUnreadable,     // the stream failed while being read
        kMalformedLine,  // a data line does not begin with kEnergyColumn numbers
    };
    Verdict verdict = Verdict::kRead;
    std::uint64_t malformedLine = 0;  // 1-based, counting every line of the file
    EnergySeries series;
};

// Reads the energy file to its end. Lines holding '#' or '@' anywhere (xvg comments and
// directives) and blank lines are skipped; every other line must begin with kEnergyColumn
// numbers read as stream extraction of a double reads them, and contributes the last one.
// The file is read in blocks of `blockSize` bytes; a line longer than a block grows the buffer.
// Lines of the common shape take a fast path, every other line the exact one. Small blocks and
// the other choices of path only serve tests, which use them to put many lines across block
// edges and to prove that every path gives the same verdicts.
inline constexpr std::size_t kEnergyBlockSize = std::size_t{1} << 16;
enum class LinePaths { kFastWhereItCan, kExactOnly };
// `fileBytes`, where known, is the file's size: the series is then given room for the whole file
// once the first block has shown how long its lines are.
EnergyFileReading readEnergySeries(std::istream& file, std::size_t blockSize = kEnergyBlockSize,
                                   LinePaths paths = LinePaths::kFastWhereItCan, std::uint64_t fileBytes = 0);

// Reads one number from `in` as `in >> double` reads it, with the same grammar as the file's
// numbers: leading white space is skipped, and only the characters extraction takes are taken.
// Nothing where extraction fails (not a number, or beyond the range of double).
std::optional<double> readNumber(std::istream& in);

// The whole console dialogue; returns the process exit status.
int runQuenvar(std::istream& in, std::ostream& out);
