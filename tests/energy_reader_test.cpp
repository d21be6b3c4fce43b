// The energy reader and the temperature answer against the behaviour they promise: each data line
// read exactly as eight successive `>> double` extractions from a std::istringstream read it,
// and a temperature as one such extraction.
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <optional>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "address_sanitizer.h"
#include "temperature_answer.h"
#include "common_line_fast_path.h"
#include "energy_reader.h"
#include "recorded_verdicts.h"
#include "reference_readers.h"

namespace {

using namespace quenvar;
using namespace quenvar::detail;
using Verdict = EnergyFileReading::Verdict;

bool sameReading(const EnergyFileReading& a, const EnergyFileReading& b) {
    if (a.verdict != b.verdict || a.malformedLine != b.malformedLine || a.series.size() != b.series.size()) return false;
    for (std::size_t i = 0; i < a.series.size(); ++i) {
        if (bitsOf(a.series[i]) != bitsOf(b.series[i])) return false;
    }
    return true;
}

// Reads the file along every path the reader has; they must agree on every line.
EnergyFileReading readEveryPath(const std::string& contents, std::size_t blockSize = kEnergyBlockSize) {
    std::optional<EnergyFileReading> first;
    for (const LinePaths paths : {LinePaths::kExactOnly, LinePaths::kFastWhereItCan}) {
        std::istringstream file(contents);
        EnergyFileReading reading = detail::readEnergySeries(file, blockSize, paths);
        if (!first) {
            first = std::move(reading);
        } else if (!sameReading(*first, reading)) {
            ADD_FAILURE() << "path " << static_cast<int>(paths) << " differs from the exact one (block " << blockSize
                          << ") on: " << escaped(contents.substr(0, 300));
        }
    }
    return *first;
}

std::string readerVerdict(const std::string& line) {
    const EnergyFileReading reading = readEveryPath(line);
    if (reading.verdict == Verdict::kMalformedLine) return "fail";
    EXPECT_EQ(reading.verdict, Verdict::kRead) << line;
    if (reading.series.size() > 1) ADD_FAILURE() << "one line, more than one energy: " << escaped(line);
    return reading.series.empty() ? "skip" : bitsOf(reading.series.front());
}

std::optional<std::string> liveVerdict(const std::string& line) {
    if constexpr (kTrustedExtraction) {
        const LineVerdict v = referenceLine(line);
        return v.skipped ? "skip" : v.malformed ? "fail" : bitsOf(v.energy);
    } else {
        return std::nullopt;
    }
}

// Every path agrees on the line (readerVerdict compares them), and with the live reference where
// it is trusted.
void expectLiveVerdict(const std::string& line) {
    const std::string verdict = readerVerdict(line);
    if (const std::optional<std::string> live = liveVerdict(line)) {
        EXPECT_EQ(verdict, *live) << escaped(line);
    }
}

const std::string kSevenNumbers = "1 2 3 4 5 6 7 ";

// Numbers at the edges of the grammar and of the range of double: each is tried as the eighth
// number, as the first (so as one the reader checks without keeping), and with words after it.
const std::vector<std::string> kTokens{
    "-250.5", "+1.5", "-0", "0", "1e5", "1E+05", "1.e3", ".5", "-.5e-3", "5.", "00012", "0x10", "1.5e", "1.5e+",
    "2E-", "1e5e3", "1E5e", "1e5.5", "1.2.3", "inf", "-inf", "nan", "NAN", "infinity", "1e400", "-1e400", "1e-400",
    "-1e-400", "1E-400", "1e+400", "0.1e+310", "4.9e-324", "2.4703282292062327e-324", "2.4703282292062328e-324",
    "2.2250738585072011e-308", "1.7976931348623157e308", "1.7976931348623158e308", "1.7976931348623159e308",
    "0.0000001e-317", "123456789012345678901234567890", "1" + std::string(300, '0'), "9" + std::string(309, '9'),
    "1" + std::string(400, '0') + "e-50", "0." + std::string(399, '0') + "1e76", "1." + std::string(400, '0') + "e-330",
    "0." + std::string(500, '0') + "1e999", "0.1000000000000000055511151231257827021181583404541015625", "+", "-",
    ".", "+.", "-e5", "e5", ".e5", "--5", "+-5", "-+5", "1-2", "3abc", "7,5", "1e+-5", "1ee5", "(5", "5)"};

std::vector<std::string> handPickedLines() {
    std::vector<std::string> lines;
    for (const std::string& token : kTokens) {
        lines.push_back(kSevenNumbers + token);
        lines.push_back(token + " " + kSevenNumbers);
        lines.push_back(kSevenNumbers + token + " trailing words");
    }
    for (const std::string& line : std::vector<std::string>{"", " ", "\t\r", "\v\f", "1 2 3 4 5 6 7", "1 2 3 4 5 6 7\r",
             "\t1\t2\t3\t4\t5\t6\t7\t8\r", "1-2-3-4-5-6-7-8", "1.1.1.1.1.1.1.1", "1 2 3 4 5 6 7 8 # comment",
             "@ 1 2 3 4 5 6 7 8", "1 2 3 4 5 6 7 8 9 10 11", std::string("1 2 3 4 5 6 7 8\0", 16),
             std::string("1 2 3\0 4 5 6 7 8", 16), "1 2 3 4 5 6 7 \xff", "\xc2\xa0" "1 2 3 4 5 6 7 8",
             "(1 2 3 4 5 6 7 8"}) {
        lines.push_back(line);
    }
    return lines;
}

TEST(EnergyReader, HandPickedLinesReadAsStreamExtraction) {
    RecordedVerdicts recorded("extraction_hand_picked.txt");
    for (const std::string& line : handPickedLines()) recorded.check(line, readerVerdict(line), liveVerdict(line));
}

// The temperature answer is read with the same grammar, from the stream, and leaves what
// extraction leaves for the next read.
TEST(TemperatureAnswer, ReadAsTheEighthNumberIsAndLeavesWhatExtractionLeaves) {
    for (const std::string& token : kTokens) {
        const std::string answer = " \t" + token + " K\n";
        std::istringstream in(answer);
        const std::optional<double> number = detail::readNumber(in);
        const std::string left(std::istreambuf_iterator<char>(in), {});
        // What it took, as the eighth number of a line that ends there.
        EXPECT_EQ(number ? bitsOf(*number) : "fail", readerVerdict(kSevenNumbers + answer.substr(2, answer.size() - 2 - left.size())))
            << escaped(answer);
        if constexpr (kTrustedExtraction) {
            std::istringstream reference(answer);
            double value = 0.0;
            reference >> value;
            reference.clear();
            EXPECT_EQ(left, std::string(std::istreambuf_iterator<char>(reference), {})) << "left after \"" << escaped(answer) << '"';
        }
    }
}

// Another scale is refused in every common spelling; kelvin in its own, and other words, are not.
TEST(TemperatureAnswer, AnotherScaleIsRefusedInEverySpelling) {
    for (const std::string answer : {"298.15", "298.15K", "298.15kelvin", "298.15KELVIN.", "298.15 K", "298.15 K.",
                                     "298.15 kelvin", "300 # room", "300 room", "300\r\n", "300\nC", "300 cal", "300 fc",
                                     "298.15\tK", "298.15\tkelvin", "25\rC"}) {  // a tab is a blank; a lone CR ends the line
        std::istringstream in(answer);
        EXPECT_TRUE(readTemperature(in)) << escaped(answer);
    }
    for (const std::string answer : {"25 \xe2\x84\x83", "25 \xc2\xb0 C", "25 \xc2\xba C", "25 degC", "25 deg C", "25 C.",
                                     "25 Celsius.", "25 \xb0" "C", "25 \xf8" "C", "77 \xe2\x84\x89", "25 CENTIGRADE!",
                                     "77 Fahrenheit)", "25 degrees", "300K C", "25C", "298,15", "300#room",
                                     "300kelvins", "300K\xc2\xb0", "0", "-5 K", "1e400"}) {
        std::istringstream in(answer);
        EXPECT_FALSE(readTemperature(in)) << escaped(answer);
    }
    // It reads no further than the word after the number, and never past the line end.
    for (const auto& [answer, left] : std::vector<std::pair<std::string, std::string>>{
             {"300 K more", " more"}, {"300kelvin room more", " more"}, {"300 \n25 C", "\n25 C"}}) {
        std::istringstream in(answer);
        EXPECT_EQ(readTemperature(in), 300.0) << escaped(answer);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), left) << escaped(answer);
    }
}

// Lines built from fragments that sit at the edges of the number grammar. The first of them have
// recorded verdicts; the rest are compared where the live reference can be trusted.
TEST(EnergyReader, GeneratedLinesReadAsStreamExtraction) {
    const std::vector<std::string> pieces{
        "0",    "1",    "7",      "42",    "-",    "+",       ".",     "e",     "E",         "e+",    "e-",   "x",
        "10",   "0x1f", "inf",    "nan",   "e400", "e-400",   "e308",  "e-308", "e-324",     "e-320", "9999", "00",
        "#",    "@",    "a",      "\r",    ",",    "1.7976931348623157", "2.4703282292062327", "123456789012345678901"};
    const std::vector<std::string> gaps{" ", " ", " ", "\t", "  ", "", "\v", "\f", "\r"};
    std::mt19937_64 random(20261207);
    auto pick = [&random](const std::vector<std::string>& from) { return from[random() % from.size()]; };
    RecordedVerdicts recorded("extraction_generated.txt");
    for (int n = 0; n < RecordedVerdicts::generatedInputs(40000, kTrustedExtraction); ++n) {
        std::string line;
        const int fields = 6 + static_cast<int>(random() % 5);
        for (int f = 0; f < fields; ++f) {
            // Mostly well-formed numbers, so that many lines get as far as the eighth field.
            if (random() % 4 != 0) {
                if (random() % 3 == 0) line += '-';
                line += std::to_string(random() % 100000);
                if (random() % 2) line.append(1, '.').append(std::to_string(random() % 1000));
                if (random() % 4 == 0) line.append(1, 'e').append(std::to_string(static_cast<int>(random() % 700) - 350));
            } else {
                for (int k = 1 + static_cast<int>(random() % 3); k > 0; --k) line += pick(pieces);
            }
            line += pick(gaps);
        }
        recorded.checkGenerated(n, line, readerVerdict(line), liveVerdict(line));
        if (HasFailure()) return;
    }
}

// Lines of the shape the fast path settles (spaces between plain decimals), most of them with
// one flaw somewhere: a byte changed, added or taken away. Every path and the reference must
// agree, on lines near the edge of what the fast path takes.
TEST(EnergyReader, CommonLinesWithOneFlawReadAsStreamExtraction) {
    static const char kFlaws[] = " \t\r\v-+.eE0123456789#@x/:,\0\x80\xff";
    std::mt19937_64 random(20261208);
    for (int n = 0; n < 30000; ++n) {
        std::string line(random() % 3, ' ');
        for (int column = 0, columns = 7 + static_cast<int>(random() % 4); column < columns; ++column) {
            if (random() % 3 == 0) line += '-';
            const int digits = static_cast<int>(random() % 9);
            for (int d = 0; d < digits; ++d) line += static_cast<char>('0' + random() % 10);
            if (random() % 4 != 0) line += '.';
            for (int d = static_cast<int>(random() % 8); d > 0; --d) line += static_cast<char>('0' + random() % 10);
            line.append(1 + random() % 6, ' ');
        }
        if (random() % 2) line.pop_back();
        const std::size_t at = random() % (line.size() + 1);
        const char flaw = kFlaws[random() % (sizeof kFlaws - 1)];
        switch (random() % 4) {
            case 0: break;
            case 1: line.insert(at, 1, flaw); break;
            case 2: if (at < line.size()) line[at] = flaw; break;
            case 3: if (at < line.size()) line.erase(at, 1); break;
        }
        expectLiveVerdict(line);
        if (HasFailure()) return;
    }
}

// Long numbers at every position of a 64-byte chunk, as the first number and as the eighth: the
// fast path must take those that fit and leave the others, at the same verdict.
TEST(EnergyReader, LongNumbersAtEveryPositionReadAsStreamExtraction) {
    const std::vector<std::string> shapes{"123456789012345", "-123456789012345", "1234567890123.4", "-1234567.1234567",
                                          "12345678901234.", "1234567890123456", "-1234567.12345678", "-.1234567890123"};
    for (std::size_t spaces = 0; spaces <= 80; ++spaces) {
        for (const std::string& shape : shapes) {
            for (const std::string& line : {std::string(spaces, ' ') + shape + " 2 3 4 5 6 7 8",
                                            "1 2 3 4 5 6 7" + std::string(spaces + 1, ' ') + shape + " 9"}) {
                expectLiveVerdict(line);
            }
        }
    }
}

// The fast path settles the common shape itself instead of leaving it to the exact reader
// (which would give the same verdicts, only slower).
TEST(EnergyReader, FastPathSettlesTheCommonShape) {
    if constexpr (!kCommonLineFastPath) GTEST_SKIP() << "this build has no fast path (no SSE2)";
    std::vector<std::pair<std::string, bool>> lines{
        {"     0.000    1822.692487    4620.656867    5104.328295     305.824198    -178.270253     -64.442354    "
         "-242.712606   11610.789240", true},
        {"1 2 3 4 5 6 7 8", true},
        {"-1 -2.5 -.5 5. 0 -0 00 -3.25 # a comment after the eighth", false},
        {"-1 -2.5 -.5 5. 0 -0 00 -3.25 @", false},
        {"-1 -2.5 -.5 5. 0 -0 00 -3.25 words after it\r", true},
        {std::string(100, ' ') + "1 2 3 4 5 6 7 8", true},
        {"1 2 3 4 5 6 7 8" + std::string(200, ' ') + "9", true},
        {"1	2 3 4 5 6 7 8", false},
        {"1 2 3 4 5 6 7 8e1", false},
        {"+1 2 3 4 5 6 7 8", false},
        {"1 2 3 4 5 6 7", false},
        {"", false},
    };
    // The longest numbers it takes, at every position of a chunk.
    for (std::size_t spaces = 0; spaces <= 80; ++spaces) {
        for (const char* shape : {"-123456789012345", "-1234567.1234567"}) {
            lines.emplace_back(std::string(spaces, ' ') + shape + " 2 3 4 5 6 7 8", true);
            lines.emplace_back("1 2 3 4 5 6 7" + std::string(spaces + 1, ' ') + shape, true);
        }
    }
    const ColumnSlots eighth{kEnergyColumn, {-1, -1, -1, -1, -1, -1, -1, -1, 0}, std::uint64_t{1} << kEnergyColumn};
    for (const auto& [line, settled] : lines) {
        const std::string buffer = line + "\n" + std::string(kCommonLinePadding, '\0');
        double energy = 0.0;
        const char* end = commonLineReaderFor(eighth)(buffer.data(), eighth, &energy);
        EXPECT_EQ(end != nullptr, settled) << escaped(line);
        if (end == nullptr) continue;
        EXPECT_EQ(end, buffer.data() + line.size()) << escaped(line);
        EXPECT_EQ(bitsOf(energy), readerVerdict(line)) << escaped(line);
    }
}

// A file much larger than one block, with lines straddling block edges, a line longer than a
// block and a last line without a line end, against a getline-and-extract reference.
TEST(EnergyReader, ManyBlocksMatchLineByLineReference) {
    std::mt19937_64 random(7);
    std::string file = "# energies\n@TYPE xy\n";
    for (int frame = 0; frame < 60000; ++frame) {
        // Mostly the common shape, which the fast path settles; every seventh line has an exponent.
        file += std::to_string(frame) + (frame % 7 ? " 1.5 -2.25 300 4 5 6 " : " 1.5 -2.25 3e2 4 5 6 ") +
                std::to_string(-250.0 + static_cast<double>(random() % 20000) / 1000.0) + " 9\n";
        if (frame == 30000) file += "1 2 3 4 5 6 7 -111.5" + std::string(3 << 20, ' ') + "x\n";
        if (frame % 997 == 0) file += "\n# comment at frame " + std::to_string(frame) + "\n";
    }
    file += "1 2 3 4 5 6 7 -99.25";

    const EnergyFileReading expected = referenceEnergyFile(file);
    ASSERT_EQ(expected.verdict, Verdict::kRead);
    ASSERT_EQ(expected.series.size(), 60002u);
    // Tiny blocks put nearly every line across a block edge and make every line outgrow one.
    for (const std::size_t blockSize : {kEnergyBlockSize, std::size_t{4096}, std::size_t{61}, std::size_t{1}}) {
        const EnergyFileReading reading = readEveryPath(file, blockSize);
        ASSERT_EQ(reading.verdict, Verdict::kRead) << blockSize;
        EXPECT_EQ(reading.series, expected.series) << blockSize;
    }
}

// A last line without a line end whose final digit is the block's last byte: the number ends
// there, and nothing beyond the bytes read may be taken for a digit (the sanitizer build also
// sees any read past them).
TEST(EnergyReader, NumberEndingAtTheLastByteOfTheLastBlock) {
    for (const std::string& file : {std::string("1 2 3 4 5 6 7 12"), std::string("# c\n1 2 3 4 5 6 7 8e1")}) {
        for (std::size_t blockSize = 1; blockSize <= file.size(); ++blockSize) {
            const EnergyFileReading reading = readEveryPath(file, blockSize);
            ASSERT_EQ(reading.verdict, Verdict::kRead) << blockSize;
            EXPECT_EQ(reading.series, EnergySeries{file.back() == '2' ? 12.0 : 80.0}) << blockSize;
        }
    }
}

// A UTF-8 byte-order mark is skipped at the start of the file alone, however the blocks cut it.
TEST(EnergyReader, ByteOrderMarkOnlyAtTheStart) {
    for (const std::string& file : {std::string("\xef\xbb\xbf" "1 2 3 4 5 6 7 8\n"), std::string("\xef\xbb\xbf# c\n1 2 3 4 5 6 7 9"),
                                    std::string("\xef\xbb\xbf"), std::string("\xef\xbb" "1 2 3 4 5 6 7 8\n"),
                                    std::string("1 2 3 4 5 6 7 8\n\xef\xbb\xbf" "1 2 3 4 5 6 7 8\n")}) {
        const EnergyFileReading expected = referenceEnergyFile(file);
        for (std::size_t blockSize = 1; blockSize <= file.size(); ++blockSize) {
            EXPECT_TRUE(sameReading(readEveryPath(file, blockSize), expected)) << escaped(file) << ", block " << blockSize;
        }
    }
    EXPECT_EQ(referenceEnergyFile("\xef\xbb\xbf" "1 2 3 4 5 6 7 8").series, EnergySeries{8.0});
}

// A file size no memory could hold a series for (a sparse file can claim one) only means the
// series is not reserved in advance.
TEST(EnergyReader, FileSizeBeyondAnySeriesIsHarmless) {
    if constexpr (kAddressSanitizer) GTEST_SKIP() << "AddressSanitizer ends the program where new would throw std::bad_alloc";
    struct ClaimsToBeHuge : std::streambuf {
        std::string data;
        std::streamsize xsgetn(char* to, std::streamsize count) override {
            const std::size_t n = data.copy(to, static_cast<std::size_t>(count));
            data.erase(0, n);
            return static_cast<std::streamsize>(n);
        }
        std::streamsize showmanyc() override { return std::numeric_limits<std::streamsize>::max(); }
    } buffer;
    for (int i = 0; i < 100; ++i) buffer.data += "1 2 3 4 5 6 7 8\n";
    std::istream stream(&buffer);
    const EnergyFileReading reading = detail::readEnergySeries(stream, 16, LinePaths::kFastWhereItCan);
    EXPECT_EQ(reading.verdict, Verdict::kRead);
    EXPECT_EQ(reading.series, EnergySeries(100, 8.0));
}

TEST(EnergyReader, MalformedLineNumberCountsEveryLine) {
    std::string file = "# header\n\n";
    for (int i = 0; i < 200000; ++i) file += "1 2 3 4 5 6 7 8\n";
    file += "1 2 3 4 5 6 7\n1 2 3 4 5 6 7 8\n";
    const EnergyFileReading reading = readEveryPath(file);
    EXPECT_EQ(reading.verdict, Verdict::kMalformedLine);
    EXPECT_EQ(reading.malformedLine, 200003u);
    EXPECT_TRUE(reading.series.empty());
}

// Columns other than the eighth, summed in the order named, with an extra series, on every path
// and across block edges: each value as the line's own extractions give it, summed left to right
// from the first. The last column needed ends its line's demands: what follows it is not read.
TEST(EnergyReader, AnyColumnsSummedInTheOrderNamed) {
    std::mt19937_64 random(11);
    std::string file = "# columns\n@ s0 legend \"first\"\n";
    EnergySeries energy, extra;
    for (int frame = 0; frame < 5000; ++frame) {
        std::string line;
        double v[6];
        for (int c = 1; c <= 5; ++c) {
            const double x = static_cast<double>(static_cast<int>(random() % 2000000) - 1000000) / 1000.0;
            char text[40];
            std::snprintf(text, sizeof text, frame % 5 == 0 ? "%.6e" : "%.3f", x);
            if (c > 1) line += ' ';
            line += text;
            std::istringstream(text) >> v[c];
        }
        file += line + (frame % 3 == 0 ? " tail-that-is-no-number\n" : "\n");
        energy.push_back((v[3] + v[2]) + v[3]);
        extra.push_back(v[5]);
    }
    const EnergyColumns columns{{3, 2, 3}, {5}};
    for (const std::size_t blockSize : {kEnergyBlockSize, std::size_t{61}, std::size_t{1}}) {
        for (const LinePaths paths : {LinePaths::kExactOnly, LinePaths::kFastWhereItCan}) {
            std::istringstream stream(file);
            const EnergyFileReading reading = detail::readEnergySeries(stream, blockSize, paths, columns);
            ASSERT_EQ(reading.verdict, Verdict::kRead) << blockSize << " line " << reading.malformedLine;
            ASSERT_EQ(reading.series.size(), energy.size());
            ASSERT_EQ(reading.extra.size(), extra.size());
            for (std::size_t i = 0; i < energy.size(); ++i) {
                ASSERT_EQ(bitsOf(reading.series[i]), bitsOf(energy[i])) << "frame " << i << ", block " << blockSize;
                ASSERT_EQ(bitsOf(reading.extra[i]), bitsOf(extra[i])) << "frame " << i << ", block " << blockSize;
            }
        }
    }
    // A line short of the fifth column, or with text stuck to it, is malformed and says how many
    // numbers it began with.
    for (const auto& [line, numbers] : std::vector<std::pair<std::string, int>>{{"1 2 3 4", 4}, {"1 2 3 4 5kJ", 4}, {"1 2 x", 2}}) {
        std::istringstream stream("1 2 3 4 5\n" + line + "\n");
        const EnergyFileReading reading = detail::readEnergySeries(stream, kEnergyBlockSize, LinePaths::kFastWhereItCan, columns);
        EXPECT_EQ(reading.verdict, Verdict::kMalformedLine) << line;
        EXPECT_EQ(reading.malformedLine, 2u) << line;
        EXPECT_EQ(reading.malformedNumbers, numbers) << line;
    }
}

// A stream that delivers some data and then fails, as a disk error would.
struct FailingBuffer : std::streambuf {
    std::string data = "1 2 3 4 5 6 7 8\n";
    bool delivered = false;
    int_type underflow() override {
        if (delivered) throw std::ios_base::failure("read error");
        delivered = true;
        setg(data.data(), data.data(), data.data() + data.size());
        return traits_type::to_int_type(data[0]);
    }
};

TEST(EnergyReader, ReadErrorIsReportedNotTreatedAsEndOfFile) {
    FailingBuffer buffer;
    std::istream stream(&buffer);
    const EnergyFileReading reading = readEnergySeries(stream);
    EXPECT_EQ(reading.verdict, Verdict::kUnreadable);
    EXPECT_TRUE(reading.series.empty());
}

}  // namespace
