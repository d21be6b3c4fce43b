// Summary term lines against the C scan the line grammar is defined by, read whole and in pieces
// as a line that spans blocks arrives, and the chart writer's choices that the end-to-end cases
// cannot reach cheaply.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "recorded_verdicts.h"
#include "reference_readers.h"
#include "summary_line.h"

namespace {

using namespace barwright;
using namespace barwright::detail;

// The term after the scan, starting from -7.25 +/- -8.5, as the recorded verdict "value error".
std::string scanVerdict(const TermEstimate& t) { return bitsOf(t.value) + " " + bitsOf(t.error); }

// The line in pieces of `width` bytes (the last may be shorter), or whole for 0.
std::vector<std::string_view> piecesOf(std::string_view line, std::size_t width) {
    if (width == 0) return {line};
    std::vector<std::string_view> pieces;
    for (std::size_t at = 0; at < line.size(); at += width) pieces.push_back(line.substr(at, width));
    return pieces;
}

std::string scanInPieces(std::string_view line, std::size_t width) {
    TermScan scan;
    for (std::string_view piece : piecesOf(line, width)) scan.add(piece);
    return scanVerdict(scan.finish({-7.25, -8.5}));
}

// Read whole; and a byte at a time, and cut in two at `cut`, to the same verdict.
std::string programVerdict(const std::string& line, std::size_t cut) {
    const std::string whole = scanInPieces(line, 0);
    EXPECT_EQ(scanInPieces(line, 1), whole) << "a byte at a time: \"" << escaped(line) << '"';
    TermScan scan;
    scan.add(std::string_view(line).substr(0, cut));
    scan.add(std::string_view(line).substr(std::min(cut, line.size())));
    EXPECT_EQ(scanVerdict(scan.finish({-7.25, -8.5})), whole) << "cut at " << cut << ": \"" << escaped(line) << '"';
    return whole;
}

LineRole apply(std::string_view line, EnergySummary& summary, std::size_t width = 0) {
    SummaryLine reader;
    for (std::string_view piece : piecesOf(line, width)) reader.add(piece);
    return reader.finish(summary);
}

std::optional<std::string> liveVerdict(const std::string& line) {
    if constexpr (kTrustedScan) {
        TermEstimate term{-7.25, -8.5};
        referenceScan(line, term);
        return scanVerdict(term);
    } else {
        return std::nullopt;
    }
}

TEST(SummaryScan, HandPickedLinesScanAsTheCFormat) {
    RecordedVerdicts recorded("scan_hand_picked.txt");
    for (const std::string& line : std::vector<std::string>{
             "Electrostatic energy = -45.200 +/- 3.100 kJ/mol", "Polar =-45.2 +/- 3.1", "= 1 +/- 2", "Polar",
             "Polar =", "Polar = ", "Polar = 5", "Polar = 5 +/-", "Polar = 5 +/- x", "Polar = 5+/- 1kJ",
             "Polar = +5 +/- +1", "Polar = -.5 +/- .25", "Polar = 1e3 +/- 2E-2", "Polar = 1e400 +/- -1e400",
             "Polar = 1e-400 +/- -1e-400", "Polar = 4.9e-324 +/- 2.4703282292062327e-324", "Polar = inf +/- -INF",
             "Polar = nan +/- NaN", "Polar = infinity +/- 1", "Polar = +-5 +/- 1", "Polar = - 5 +/- 1",
             "Polar = . +/- 1", "Polar = nan(12) +/- 1", "Polar = nan(12 +/- 1", "Polar = infin +/- 1",
             "Polar = INFIN +/- 1", "Polar = infe +/- 1", "Polar = InFiNiTy +/- -iNf", "Polar = 5e +/- 1",
             "Polar = 5E+ +/- 1", "Polar = 5E3e +/- 1", "Polar = 5e( +/- 1", "Polar = .5e +/- 1", "Polar = 5x +/- 1",
             "Polar \t=\t-1\t+/-\t2\r", "Polar =\v-1\f+/-\v2", "Polar == 3 +/- 4", "a=b=c 1 2 3",
             std::string("Polar =\0 5 +/- 1", 17), std::string("Polar = 5 +/-\0 1", 17), "Polar =\x80 5 +/- 1",
             "Polar =\xa0 5 +/- 1", "Polar = 5 \xff 6", "Polar = 1E-400 +/- 1e+400", "Polar = 0.1e+310 +/- 1",
             "Polar = 1" + std::string(400, '0') + "e-50 +/- 0." + std::string(399, '0') + "1e76",
             "Polar = 1." + std::string(400, '0') + "e-330 +/- 0." + std::string(500, '0') + "1e999",
             "Polar = 123456789012345678901234567890 +/- 0.1000000000000000055511151231257827021181583404541015625"}) {
        for (std::size_t cut = 1; cut < line.size(); ++cut) programVerdict(line, cut);
        recorded.check(line, programVerdict(line, 0), liveVerdict(line));
    }
}

// The first lines have recorded verdicts; the rest are compared where glibc's scan is at hand.
TEST(SummaryScan, GeneratedLinesScanAsTheCFormat) {
    const std::vector<std::string> pieces{"Polar", " ", " ", "\t", "=", "= ", "+/-", "-", "+", ".", "0", "1", "25",
                                          "3.5", "-4.75", "e", "E", "e+", "e-3", "e400", "kJ/mol", "a", "/", "nan",
                                          "inf", "inity", "in", "(", "n)", "  ", "1.7976931348623157", "e308",
                                          "e-320", std::string(1, '\0'), "\v"};
    std::mt19937_64 random(2026);
    RecordedVerdicts recorded("scan_generated.txt");
    for (int n = 0; n < RecordedVerdicts::generatedInputs(200000, kTrustedScan); ++n) {
        std::string line;
        for (int k = 2 + static_cast<int>(random() % 12); k > 0; --k) line += pieces[random() % pieces.size()];
        recorded.checkGenerated(n, line, programVerdict(line, static_cast<std::size_t>(n) % (line.size() + 1)), liveVerdict(line));
        if (HasFailure()) return;
    }
}

// Whole, and in pieces that cut every tag and "END" somewhere.
TEST(SummaryLines, FirstTagInTableOrderWinsAndTaggedLinesNeverEndABlock) {
    for (std::size_t width : {0u, 1u, 2u, 3u, 5u}) {
        EnergySummary summary;
        EXPECT_EQ(apply("SAV and SASA = 2 +/- 1", summary, width), LineRole::kTerm);
        EXPECT_EQ(summary.sasa.value, 2.0);
        EXPECT_EQ(summary.sav.value, 0.0);
        EXPECT_EQ(apply("WCA END = 3 +/- 1", summary, width), LineRole::kTerm);
        EXPECT_EQ(summary.wca.value, 3.0);
        EXPECT_EQ(apply("x Electrostatic = 4 +/- 1", summary, width), LineRole::kTerm);
        EXPECT_EQ(summary.elec.value, 4.0);
        EXPECT_EQ(apply("--END--", summary, width), LineRole::kBlockEnd);
        EXPECT_EQ(apply("EN", summary, width), LineRole::kOther);
        EXPECT_EQ(apply("end", summary, width), LineRole::kOther);
        EXPECT_EQ(apply("Vanadium = 1 +/- 1", summary, width), LineRole::kOther);  // tags are case-sensitive
        EXPECT_EQ(summary.vdw.value, 0.0);
    }
}

TEST(NonPolarModelChoice, ToleranceMagnitudeAndNotANumber) {
    auto choose = [](double sasa, double sav, double wca) {
        EnergySummary s;
        s.sasa.value = sasa, s.sav.value = sav, s.wca.value = wca;
        s.sasa.error = s.sav.error = s.wca.error = 5.0;  // errors never count
        return chooseNonPolarModel(s);
    };
    EXPECT_EQ(choose(0, 0, 0), NonPolarModel::kWca);
    EXPECT_EQ(choose(9.9e-7, -9.9e-7, 3), NonPolarModel::kWca);
    EXPECT_EQ(choose(1e-6, 0, 0), NonPolarModel::kSasa);
    EXPECT_EQ(choose(-0.5, 0, 0), NonPolarModel::kSasa);
    EXPECT_EQ(choose(2.0e-7, 3.5, 0), NonPolarModel::kSav);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(choose(nan, 0, 0), NonPolarModel::kSasa);
    EXPECT_EQ(choose(0, nan, 1), std::nullopt);
    EXPECT_EQ(choose(1, 0, 1), std::nullopt);
    EXPECT_EQ(choose(1, 1, 1), std::nullopt);
}

// The y range comes from the numbers as the chart writes them (six decimals), in decimal.
TEST(ChartRange, FromTheWrittenNumbers) {
    const auto written = [](double x) {
        std::string text(400, '\0');
        text.resize(static_cast<std::size_t>(std::snprintf(text.data(), text.size(), "%15.6f", x)));
        return text;
    };
    const auto range = [&](double value, double error) {
        const barwright::detail::WrittenBar zero{written(0), written(0)};
        return barwright::detail::axisLines({{{written(value), written(error)}, zero, zero, zero, zero}});
    };
    const auto lines = [](std::string bottom, std::string top, std::string step) {
        return "@ autoscale onread none\n@ world 0, " + bottom + ", 6, " + top + "\n@    yaxis  tick major " + step + "\n";
    };
    EXPECT_EQ(range(-0.05, 0.01), lines("-0.06", "0", "0.01"));  // an end on a multiple stays there
    EXPECT_EQ(range(1.5e-6, 0), lines("0", "2e-06", "2e-07"));  // written 0.000002
    EXPECT_EQ(range(4e-7, 0), lines("-1", "1", "0.2"));         // written 0.000000
    EXPECT_EQ(range(2, -80), lines("-80", "100", "20"));        // an error written negative
    EXPECT_EQ(range(1e300, 0), lines("0", "1.2e+300", "2e+299"));  // written 1000000000000000052504...
    EXPECT_EQ(range(1.5e308, 0), lines("0", "1.6e+308", "2e+307"));
    EXPECT_EQ(range(1.7976931348623157e308, 0), "");  // 1.8e308 is no double
}

// Past 9999 the name simply takes more digits.
TEST(BarChartWriter, NamesBeyondFourDigits) {
    const auto dir = std::filesystem::temp_directory_path() / ("chart-names-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    std::ostringstream out;
    EXPECT_EQ(writeBarChart(EnergySummary{}, 12345, out), ChartOutcome::kWritten);
    std::filesystem::current_path(before);
    EXPECT_EQ(out.str(), "Processing Complex 12345, output file sum_12345.xvg\n");
    EXPECT_TRUE(std::filesystem::is_regular_file(dir / "sum_12345.xvg"));
    std::filesystem::remove_all(dir);
}

}  // namespace
