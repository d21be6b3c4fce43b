#include "energy_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <istream>
#include <memory>
#include <new>
#include <string_view>

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
// but this and the number being read.
struct LineProgress {
    int numbers = 0;       // numbers read from its start
    bool failed = false;   // one of the first kEnergyColumn is not a number
    bool marked = false;   // it holds '#' or '@'
    double energy = 0.0;   // the last of them, once all are read

    bool skipped() const { return marked || (numbers == 0 && !failed); }
    bool isData() const { return numbers == kEnergyColumn; }  // once not skipped
};

struct Step {
    const char* at;  // the line's '\n' (or the end of the file), or where the next block goes on
    bool lineEnded;
};

// Reads the line on from p as far as the block [p, blockEnd] allows; *blockEnd is '\n', and
// `more` tells whether the file goes on after it. A number that reaches blockEnd may go on in the
// next block, so the next block goes on from its start; otherwise nothing needs keeping.
Step readLine(const char* p, const char* blockEnd, bool more, LineProgress& line) {
    while (line.numbers < kEnergyColumn && !line.failed) {
        while (isBlankInLine(*p)) ++p;
        if (*p == '\n') return {p, p != blockEnd || !more};
        LineCursor cursor{p};
        const ExtractedText text = scanExtractedNumber(cursor);
        if (cursor.p == blockEnd && more) return {p, false};
        const bool isEnergy = line.numbers + 1 == kEnergyColumn;
        double value = 0.0;
        // A number beyond the range of double fails, as extraction fails on it. Others need no
        // conversion unless they are the energy.
        if (text.isNumber && (isEnergy || text.mayOverflow)) {
            value = convertDecimal({p, static_cast<std::size_t>(cursor.p - p)});
        }
        if (!text.isNumber || std::isinf(value) || (isEnergy && !endsLastNumber(*cursor.p))) {
            line.failed = true;
            break;
        }
        if (isEnergy) line.energy = value;
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

EnergyFileReading readBlocks(std::istream& file, std::size_t blockSize, LinePaths paths) {
    EnergyFileReading reading;
    std::size_t capacity = std::max<std::size_t>(blockSize, 1);
    std::unique_ptr<char[]> buffer = newBuffer(capacity);
    std::size_t begin = 0, filled = 0;  // unread bytes are buffer[begin, filled), then the sentinel
    buffer[0] = '\n';
    bool more = true, reserved = false, atStart = true;
    std::uint64_t bytesRead = 0, lineNumber = 0;
    LineProgress line;
    bool midLine = false;  // the line began in an earlier block
    const bool fast = kCommonLineFastPath && paths == LinePaths::kFastWhereItCan;

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
            if (!refill(p)) return {.verdict = EnergyFileReading::Verdict::kUnreadable, .series = {}};
            continue;
        }
        if (atStart) {
            // A UTF-8 byte-order mark (Windows Notepad's "UTF-8 with BOM") is no part of line 1.
            if (filled < 3 && more) {
                if (!refill(p)) return {.verdict = EnergyFileReading::Verdict::kUnreadable, .series = {}};
                continue;
            }
            if (std::string_view(p, filled).starts_with("\xef\xbb\xbf")) p += 3;
            atStart = false;
        }
        double energy = 0.0;
        const char* fastEnd = fast && !midLine ? readCommonDataLine(p, energy) : nullptr;
        Step step{};
        if (fastEnd != nullptr && (fastEnd != blockEnd || !more)) {
            line = {.numbers = kEnergyColumn, .energy = energy};
            step = {fastEnd, true};
        } else {
            step = readLine(p, blockEnd, more, line);
        }
        if (!step.lineEnded) {
            if (!refill(step.at)) return {.verdict = EnergyFileReading::Verdict::kUnreadable, .series = {}};
            midLine = true;
            continue;
        }

        ++lineNumber;
        if (!line.skipped()) {
            if (!line.isData()) {
                return {.verdict = EnergyFileReading::Verdict::kMalformedLine, .malformedLine = lineNumber, .series = {}};
            }
            reading.series.push_back(line.energy);
        }
        line = {};
        midLine = false;
        if (step.at == blockEnd) break;  // the file's last line, without a line end
        begin = static_cast<std::size_t>(step.at - base) + 1;
    }
    return reading;
}

}  // namespace

EnergyFileReading readEnergySeries(std::istream& file, std::size_t blockSize, LinePaths paths) {
    try {
        return readBlocks(file, blockSize, paths);
    } catch (const std::bad_alloc&) {
        // What was read is gone with the stack; the next file may fit.
        return {.verdict = EnergyFileReading::Verdict::kOutOfMemory, .series = {}};
    }
}

}  // namespace quenvar::detail

namespace quenvar {

EnergyFileReading readEnergySeries(std::istream& file) {
    return detail::readEnergySeries(file, detail::kEnergyBlockSize, detail::LinePaths::kFastWhereItCan);
}

}  // namespace quenvar
