#include "energy_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <istream>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "common_line_fast_path.h"
#include "decimal_conversion.h"
#include "extraction_grammar.h"

namespace quenvar::detail {
namespace {

// Within a line, the characters the classic locale calls white space, which extraction skips:
// blank, \t, \v, \f and \r (the line's own end, \n, is never inside it).
bool isBlankInLine(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

// Walks the block for the number grammar. The block is always followed by '\n' (a line's end,
// or a sentinel), which no number takes: the scan stops there without a bounds check.
struct LineCursor {
    const char* p;
    int peek() const { return static_cast<unsigned char>(*p); }
    void take() { ++p; }
};

// What the bytes of a line seen so far decide. A line may span blocks; nothing of it is kept
// but this, the values of its slotted columns and the number being read.
struct LineProgress {
    int numbers = 0;       // numbers read from its start
    bool failed = false;   // one of the columns needed is not a number
    bool marked = false;   // it holds '#' or '@'

    bool skipped() const { return marked || (numbers == 0 && !failed); }
};

struct Step {
    const char* at;  // the line's '\n' (or the end of the file), or where the next block goes on
    bool lineEnded;
};

// Reads the line on from p as far as the block [p, blockEnd] allows; *blockEnd is '\n', and
// `more` tells whether the file goes on after it. A number that reaches blockEnd may go on in the
// next block, so the next block goes on from its start; otherwise nothing needs keeping.
Step readLine(const char* p, const char* blockEnd, bool more, LineProgress& line, const ColumnSlots& columns, double* values) {
    while (line.numbers < columns.needed && !line.failed) {
        while (isBlankInLine(*p)) ++p;
        if (*p == '\n') return {p, p != blockEnd || !more};
        LineCursor cursor{p};
        const ExtractedText text = scanExtractedNumber(cursor);
        if (cursor.p == blockEnd && more) return {p, false};
        const int column = line.numbers + 1;
        const int slot = columns.slot[static_cast<std::size_t>(column)];
        double value = 0.0;
        // A number beyond the range of double fails, as extraction fails on it. Others need no
        // conversion unless their value is taken.
        if (text.isNumber && (slot >= 0 || text.mayOverflow)) {
            value = convertDecimal({p, static_cast<std::size_t>(cursor.p - p)});
        }
        if (!text.isNumber || std::isinf(value) || (column == columns.needed && !endsLastNumber(*cursor.p))) {
            line.failed = true;
            break;
        }
        if (slot >= 0) values[slot] = value;
        p = cursor.p;
        ++line.numbers;
    }
    // The rest matters only for the line's end and for a '#' or '@' in it.
    const auto* end = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(blockEnd - p) + 1));
    const auto n = static_cast<std::size_t>(end - p);
    line.marked = line.marked || std::memchr(p, '#', n) != nullptr || std::memchr(p, '@', n) != nullptr;
    return {end, end != blockEnd || !more};
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
void reserveForWholeFile(EnergySeries& series, std::uint64_t bytesSoFar, std::streamsize bytesLeft) {
    if (series.empty() || bytesSoFar == 0 || bytesLeft <= 0) return;
    const double lines =
        static_cast<double>(series.size()) * (1 + static_cast<double>(bytesLeft) / static_cast<double>(bytesSoFar)) * 1.05 + 64;
    if (lines >= static_cast<double>(series.max_size())) return;
    try {
        series.reserve(static_cast<std::size_t>(lines));
    } catch (const std::bad_alloc&) {
    }
}

// The slots of the columns named, and each series' slots in the order its columns are named.
struct Frames {
    ColumnSlots slots;
    std::vector<std::size_t> energy, extra;
    bool single = false;  // one column, no extra series: a frame is that value

    explicit Frames(const EnergyColumns& columns) : slots{columns.highest(), {}, 0} {
        slots.slot.assign(static_cast<std::size_t>(slots.needed) + 1, -1);
        int count = 0;
        for (const auto& [named, placed] : {std::pair(&columns.energy, &energy), std::pair(&columns.extra, &extra)}) {
            for (int c : *named) {
                int& slot = slots.slot[static_cast<std::size_t>(c)];
                if (slot < 0) slot = count++;
                if (c < 64) slots.used |= std::uint64_t{1} << c;
                placed->push_back(static_cast<std::size_t>(slot));
            }
        }
        single = energy.size() == 1 && extra.empty();
    }

    // The sum over some slots, from the first value itself, so that one column gives its value
    // bit for bit (a -0 stays -0).
    static double sumOf(const std::vector<std::size_t>& placed, const std::vector<double>& values) {
        double sum = values[placed.front()];
        for (std::size_t i = 1; i < placed.size(); ++i) sum += values[placed[i]];
        return sum;
    }
};

EnergyFileReading readBlocks(std::istream& file, std::size_t blockSize, LinePaths paths, const EnergyColumns& columns) {
    EnergyFileReading reading;
    const Frames frames(columns);
    const ColumnSlots& slots = frames.slots;
    std::vector<double> values(slots.slot.size());  // room enough: at most one slot a column
    std::size_t capacity = std::max<std::size_t>(blockSize, 1);
    std::unique_ptr<char[]> buffer = newBuffer(capacity);
    std::size_t begin = 0, filled = 0;  // unread bytes are buffer[begin, filled), then the sentinel
    buffer[0] = '\n';
    bool more = true, reserved = false, atStart = true;
    std::uint64_t bytesRead = 0, lineNumber = 0;
    LineProgress line;
    bool midLine = false;  // the line began in an earlier block
    const CommonLineReader readCommon = kCommonLineFastPath && paths == LinePaths::kFastWhereItCan ? commonLineReaderFor(slots) : nullptr;
    const EnergyFileReading unreadable{.verdict = EnergyFileReading::Verdict::kUnreadable, .series = {}, .extra = {}};

    // Moves the bytes from `keep` on to the front, growing the buffer only when they fill it (a
    // number longer than a block), and reads on after them.
    auto refill = [&](const char* keep) {
        const std::size_t kept = filled - static_cast<std::size_t>(keep - buffer.get());
        if (!reserved && !reading.series.empty()) {
            reserveForWholeFile(reading.series, bytesRead - kept, file.rdbuf()->in_avail());
            reserved = true;
        }
        if (kept == capacity) {
            std::unique_ptr<char[]> larger = newBuffer(capacity * 2);
            std::memcpy(larger.get(), keep, kept);
            buffer = std::move(larger);
            capacity *= 2;
        } else {
            std::memmove(buffer.get(), keep, kept);
        }
        begin = 0;
        file.read(buffer.get() + kept, static_cast<std::streamsize>(capacity - kept));
        filled = kept + static_cast<std::size_t>(file.gcount());
        bytesRead += static_cast<std::uint64_t>(file.gcount());
        buffer[filled] = '\n';
        more = !file.eof();
        return !file.bad();
    };

    for (;;) {
        const char* base = buffer.get();
        const char* p = base + begin;
        const char* blockEnd = base + filled;  // the sentinel '\n'
        if (p == blockEnd && !midLine) {
            if (!more) break;  // the end of the file, at a line boundary
            if (!refill(p)) return unreadable;
            continue;
        }
        if (atStart) {
            // A UTF-8 byte-order mark (Windows Notepad's "UTF-8 with BOM") is no part of line 1.
            if (filled < 3 && more) {
                if (!refill(p)) return unreadable;
                continue;
            }
            if (std::string_view(p, filled).starts_with("\xef\xbb\xbf")) p += 3;
            atStart = false;
        }
        const char* fastEnd = readCommon != nullptr && !midLine ? readCommon(p, slots, values.data()) : nullptr;
        Step step{};
        if (fastEnd != nullptr && (fastEnd != blockEnd || !more)) {
            line = {.numbers = slots.needed};
            step = {fastEnd, true};
        } else {
            step = readLine(p, blockEnd, more, line, slots, values.data());
        }
        if (!step.lineEnded) {
            if (!refill(step.at)) return unreadable;
            midLine = true;
            continue;
        }

        ++lineNumber;
        if (!line.skipped()) {
            if (line.numbers != slots.needed) {
                return {.verdict = EnergyFileReading::Verdict::kMalformedLine, .malformedLine = lineNumber,
                        .malformedNumbers = line.numbers, .series = {}, .extra = {}};
            }
            if (frames.single) {
                reading.series.push_back(values[0]);
            } else {
                reading.series.push_back(Frames::sumOf(frames.energy, values));
                if (!frames.extra.empty()) reading.extra.push_back(Frames::sumOf(frames.extra, values));
            }
        }
        line = {};
        midLine = false;
        if (step.at == blockEnd) break;  // the file's last line, without a line end
        begin = static_cast<std::size_t>(step.at - base) + 1;
    }
    return reading;
}

}  // namespace

EnergyFileReading readEnergySeries(std::istream& file, std::size_t blockSize, LinePaths paths, const EnergyColumns& columns) {
    try {
        return readBlocks(file, blockSize, paths, columns);
    } catch (const std::bad_alloc&) {
        // What was read is gone with the stack; the next file may fit.
        return {.verdict = EnergyFileReading::Verdict::kOutOfMemory, .series = {}, .extra = {}};
    }
}

}  // namespace quenvar::detail

namespace quenvar {

int EnergyColumns::highest() const {
    int most = 0;
    for (const std::vector<int>* named : {&energy, &extra}) {
        for (int c : *named) most = std::max(most, c);
    }
    return most;
}

EnergyFileReading readEnergySeries(std::istream& file) {
    return detail::readEnergySeries(file, detail::kEnergyBlockSize, detail::LinePaths::kFastWhereItCan);
}

}  // namespace quenvar
