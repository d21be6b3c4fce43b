#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <vector>

#include "entropy_estimator.h"

namespace quenvar {

inline constexpr int kEnergyColumn = 8;

// The numbers of a data line that make its frame: the sum of `energy`'s columns (1-based, in the
// order given), and where `extra` names any, a second series of the sum of its columns. A data
// line must begin with as many numbers as the highest column named. quenvar takes the eighth.
struct EnergyColumns {
    std::vector<int> energy{kEnergyColumn};
    std::vector<int> extra;
    int highest() const;
};

struct EnergyFileReading {
    enum class Verdict {
        kRead,           // the series holds every data line's energy (it may be empty)
        kUnreadable,     // the stream failed while being read (or the file did not open)
        kMalformedLine,  // a data line does not begin with the numbers its columns need
        kOutOfMemory,    // the series does not fit in memory
    };
    Verdict verdict = Verdict::kRead;
    std::uint64_t malformedLine = 0;  // 1-based, counting every line of the file
    int malformedNumbers = 0;         // the numbers that line begins with
    EnergySeries series;
    EnergySeries extra;  // a value a frame where the columns name an extra series
};

// Reads the energy file to its end. Lines holding '#' or '@' anywhere (xvg comments and
// directives) and blank lines are skipped; every other line must begin with kEnergyColumn
// numbers read as stream extraction of a double reads them, and contributes the last one. The
// last must end there: white space, the line's end or a sign follows it.
// Memory holds the series and one block of the file, more only for a number longer than a block:
// a line is decided from its first numbers and a search of the rest for its end and for '#' and
// '@'.
EnergyFileReading readEnergySeries(std::istream& file);

namespace detail {

inline constexpr std::size_t kEnergyBlockSize = std::size_t{1} << 16;
enum class LinePaths { kFastWhereItCan, kExactOnly };

// The same for any columns, in blocks of `blockSize` bytes, with lines of the common shape taking
// the fast path or not. Tests choose the blocks and paths: small blocks put many lines across
// block edges, and the paths must give the same verdicts.
EnergyFileReading readEnergySeries(std::istream& file, std::size_t blockSize, LinePaths paths, const EnergyColumns& columns = {});

}  // namespace detail
}  // namespace quenvar
