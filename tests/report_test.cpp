// quenvar-report against what it must agree with: numpy and pymbar on stored series
// (data/report_reference.txt says how they were made), SplitMix64's published sequence, the
// exact computation on each resample, quenvar's own result on every end-to-end quenvar case, and
// the values recorded for the bundled example.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "decimal_conversion.h"
#include "energy_file.h"
#include "options.h"
#include "report.h"
#include "statistics.h"
#include "temperature_answer.h"

namespace {

namespace fs = std::filesystem;
using namespace quenvar_report;

std::vector<double> numbersIn(const fs::path& path) {
    std::ifstream file(path);
    std::vector<double> values;
    for (std::string line; std::getline(file, line);) values.push_back(quenvar::detail::convertDecimal(line));
    return values;
}

std::vector<double> series(const std::string& kind) { return numbersIn(fs::path(DATA_DIR) / ("series_" + kind + ".txt")); }
std::vector<double> example() { return quenvar::detail::readEnergyFile(EXAMPLE_FILE).series; }

double reference(const std::string& name, const std::string& key) {
    static const std::map<std::string, double> values = [] {
        std::map<std::string, double> read;
        std::ifstream file(fs::path(DATA_DIR) / "report_reference.txt");
        for (std::string series, statistic, value; file >> series;) {
            if (series[0] == '#') {
                std::getline(file, value);
            } else if (file >> statistic >> value) {
                read[series + " " + statistic] = quenvar::detail::convertDecimal(value);
            }
        }
        return read;
    }();
    EXPECT_EQ(values.count(name + " " + key), 1u) << name << " " << key;
    return values.count(name + " " + key) != 0 ? values.at(name + " " + key) : std::numeric_limits<double>::quiet_NaN();
}

void expectClose(double actual, double expected, double relative, const std::string& what) {
    EXPECT_NEAR(actual, expected, relative * std::fabs(expected)) << what;
}

TEST(ReportStatistics, AgreeWithNumpyAndPymbar) {
    for (const std::string kind : {"correlated", "uncorrelated", "drifting", "example"}) {
        const std::vector<double> e = kind == "example" ? example() : series(kind);
        expectClose(moments(e).mean, reference(kind, "mean"), 1e-13, kind);
        expectClose(moments(e).sigma, reference(kind, "sigma"), 1e-12, kind);
        expectClose(statisticalInefficiency(e), reference(kind, "inefficiency"), 1e-8, kind);  // drifting: by FFT
        if (kind != "example") expectClose(estimate(e, 300).c2, reference(kind, "c2_300K"), 1e-12, kind);
    }
    const std::vector<double> correlated = series("correlated");
    const std::vector<double> first(correlated.begin(), correlated.begin() + 37);
    for (const double p : {0.0, 2.5, 25.0, 50.0, 97.5, 100.0}) {
        std::ostringstream key;
        key << p;
        expectClose(percentile(first, p), reference("percentile_of_first_37_correlated", key.str()), 1e-14, key.str());
    }
}

TEST(ReportStatistics, EqualValuesGiveZeroWhateverTheMeanRoundsTo) {
    const std::vector<double> tenths(1000, 0.1);  // their sum / 1000 is not 0.1
    EXPECT_EQ(moments(tenths).sigma, 0.0);
    EXPECT_EQ(statisticalInefficiency(tenths), 1.0);
    EXPECT_EQ(estimate(tenths, 1e-19).ie, 0.0);
    EXPECT_EQ(estimate(tenths, 1e-19).c2, 0.0);
    EXPECT_EQ(statisticalInefficiency(std::vector<double>{1, 2}), 1.0);
}

// Energies near the double limit: resampled estimates may lie beyond the doubles, but none is NaN
// (which would leave their order, and so the percentiles, undefined).
TEST(ReportResampling, EnergiesNearTheDoubleLimit) {
    const std::vector<double> e{1.7e308, 1.7e308, -1.7e308, 1.7e308};
    for (const Estimates& r : detail::resampleEstimates(e, 300, 50, 1, 1)) EXPECT_FALSE(std::isnan(r.ie) || std::isnan(r.c2));
    EXPECT_NEAR(moments(e).sigma, std::sqrt(3.0) / 2 * 1.7e308, 1e-15 * 1.7e308);
    EXPECT_EQ(blockLength(std::numeric_limits<double>::quiet_NaN(), 100), 1u);
}

TEST(ReportStatistics, BlockLengthFromRoundedInefficiency) {
    EXPECT_EQ(blockLength(1.0, 3000), 1u);
    EXPECT_EQ(blockLength(1.0000000000001, 3000), 1u);  // rounds to 1 at 12 digits
    EXPECT_EQ(blockLength(4.0 / 3.0, 3000), 2u);         // 1 + ceil(0.99999999999)
    EXPECT_EQ(blockLength(16.823894731850622, 3000), 49u);
    EXPECT_EQ(blockLength(16.8, 100), 10u);  // at most n / 10
    EXPECT_EQ(blockLength(16.8, 5), 1u);     // and at least 1
}

TEST(ReportResampling, DrawsFollowSplitMix64) {
    detail::SplitMix64 zero(0), other(1234567);
    EXPECT_EQ(zero.next(), 0xe220a8397b1dcdafu);  // the published sequence
    EXPECT_EQ(zero.next(), 0x6e789e6aa1b965f4u);
    EXPECT_EQ(other.next(), 0x599ed017fb08fc85u);
    // Indices as a plain Python transcription of the mapping draws them.
    const std::vector<std::pair<std::uint64_t, std::vector<std::uint64_t>>> expected{
        {1000, {883, 431, 26, 970, 106, 327}}, {3, {2, 1, 0, 2, 0, 0}}, {1000000000000, {416658607535, 522194355700, 19471545679}}};
    for (const auto& [range, indices] : expected) {
        detail::SplitMix64 random(0);
        for (const std::uint64_t index : indices) EXPECT_EQ(random.below(range), index) << range;
    }
}

// A series of frames far apart (one 2000 kJ/mol above the rest, beyond 700 kT) makes the resamples
// without it sum their own exponentials.
std::vector<double> farApart() {
    std::vector<double> e = series("uncorrelated");
    e.resize(400);
    e[123] += 2000;
    return e;
}

TEST(ReportResampling, EachResampleAgreesWithTheExactComputation) {
    for (const std::string kind : {"correlated", "uncorrelated", "drifting", "far apart"}) {
        const std::vector<double> e = kind == "far apart" ? farApart() : series(kind);
        const std::size_t block = blockLength(statisticalInefficiency(e), e.size());
        const std::vector<Estimates> shared = detail::resampleEstimates(e, 300, 200, block, 7);
        for (std::size_t r = 0; r < shared.size(); ++r) {
            const std::vector<double> frames = detail::resampleFrames(e, block, 7, r);
            ASSERT_EQ(frames.size(), e.size());
            const Estimates exact = estimate(frames, 300);
            expectClose(shared[r].ie, exact.ie, 1e-12, kind + " ie, resample " + std::to_string(r));
            expectClose(shared[r].c2, exact.c2, 1e-12, kind + " c2, resample " + std::to_string(r));
        }
        // However many threads shared them, a resample's result is its own.
        const std::vector<Estimates> few = detail::resampleEstimates(e, 300, 3, block, 7);
        for (std::size_t r = 0; r < few.size(); ++r) EXPECT_EQ(few[r].ie, shared[r].ie) << kind;
    }
}

std::vector<std::string> tsvFields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream row(line);
    for (std::string field; std::getline(row, field, '\t');) fields.push_back(field);
    return fields;
}

// The example's row at the default seed, as recorded on Linux, to 12 significant digits: the
// maths libraries of other platforms may differ in the last bits.
TEST(Report, BundledExampleAsRecorded) {
    std::istringstream in;
    std::ostringstream out, err;
    ASSERT_EQ(runReport({"-T", "298.15", "--tsv", EXAMPLE_FILE}, in, out, err), 0) << err.str();
    std::ifstream recordedFile(fs::path(DATA_DIR) / "report_example.tsv");
    std::string header, line, recorded;
    std::istringstream lines(out.str());
    ASSERT_TRUE(std::getline(lines, header) && std::getline(lines, line) && std::getline(recordedFile, recorded));
    const std::vector<std::string> got = tsvFields(line), want = tsvFields(recorded);
    ASSERT_EQ(got.size(), 23u);
    ASSERT_EQ(want.size(), 23u);
    for (std::size_t i = 1; i < got.size(); ++i) {
        expectClose(quenvar::detail::convertDecimal(got[i]), quenvar::detail::convertDecimal(want[i]), 1e-12, tsvFields(header)[i]);
    }
}

std::vector<std::vector<std::string>> tsvRows(const std::vector<std::string>& args, const std::string& input = "") {
    std::istringstream in(input), lines;
    std::ostringstream out, err;
    EXPECT_EQ(runReport(args, in, out, err), 0) << err.str();
    lines.str(out.str());
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(lines, line);) rows.push_back(tsvFields(line));
    return rows;
}

TEST(Report, FramesUsedHalvesAndTheOrderOfFiles) {
    // --last 33 of 3000 frames is the last 990, and every figure is theirs.
    const auto last = tsvRows({"-T", "298.15", "--tsv", "--last", "33", EXAMPLE_FILE});
    const std::vector<double> e = example();
    EXPECT_EQ(last.at(1).at(1), "990");
    EXPECT_EQ(quenvar::detail::convertDecimal(last[1][6]), estimate(std::span(e).last(990), 298.15).ie);
    // A file's figures do not depend on its place in the list.
    const auto twice = tsvRows({"-T", "298.15", "--tsv", "-", EXAMPLE_FILE}, "1 2 3 4 5 6 7 -100\n");
    ASSERT_EQ(twice.size(), 3u);
    const auto alone = tsvRows({"-T", "298.15", "--tsv", EXAMPLE_FILE});
    EXPECT_EQ(twice[2], alone.at(1));
    // One frame: no halves, in either form.
    for (int field = 16; field < 20; ++field) EXPECT_EQ(twice[1].at(static_cast<std::size_t>(field)), "") << field;
    std::istringstream in("1 2 3 4 5 6 7 -100\n");
    std::ostringstream out, err;
    EXPECT_EQ(runReport({"-T", "300", "-"}, in, out, err), 0);
    EXPECT_NE(out.str().find("  first half                       n/a                 n/a\n"), std::string::npos) << out.str();
}

#ifndef _WIN32  // Windows allows neither a tab nor a backslash in a file's name
TEST(Report, TsvNamesAFileInOneField) {
    const fs::path file = fs::temp_directory_path() / "tab\tand\\backslash.xvg";
    std::ofstream(file) << "1 2 3 4 5 6 7 -100\n1 2 3 4 5 6 7 -102\n";
    const auto rows = tsvRows({"-T", "300", "--tsv", file.string()});
    fs::remove(file);
    EXPECT_EQ(rows.at(1).at(0), (fs::temp_directory_path() / "tab\\tand\\\\backslash.xvg").string());
}
#endif

// On the energy file of every end-to-end quenvar case that succeeds, at its temperature, the
// report's -TdS is quenvar's own double (0 for a series of equal values).
TEST(Report, SameResultAsQuenvarOnEveryCase) {
    int compared = 0;
    for (const char* root : {"cases", "bad_input"}) {
        for (const auto& c : fs::directory_iterator(fs::path(TESTS_DIR) / root / "quenvar")) {
            if (fs::exists(c.path() / "status") || !fs::exists(c.path() / "files")) continue;
            std::vector<std::string> temperatures;
            std::ifstream answers(c.path() / "stdin");
            for (std::string line; std::getline(answers, line);) {
                std::istringstream answer(line);
                if (quenvar::readTemperature(answer)) temperatures.push_back(line);
            }
            for (const auto& f : fs::recursive_directory_iterator(c.path() / "files")) {
                const quenvar::EnergyFileReading reading = quenvar::detail::readEnergyFile(f.path().string());
                if (!f.is_regular_file() || reading.verdict != quenvar::EnergyFileReading::Verdict::kRead || reading.series.empty()) continue;
                for (const std::string& t : temperatures) {
                    std::istringstream in, answer(t);
                    std::ostringstream out, err;
                    ASSERT_EQ(runReport({"--tsv", "--bootstrap", "0", "-T", t, f.path().string()}, in, out, err), 0) << err.str();
                    const double reported = quenvar::detail::convertDecimal(tsvFields(out.str().substr(out.str().find('\n') + 1))[6]);
                    const bool equal = moments(reading.series).sigma == 0;
                    EXPECT_EQ(reported, equal ? 0.0 : quenvar::estimateEntropyTerm(reading.series, *quenvar::readTemperature(answer)))
                        << f.path() << " at " << t;
                    ++compared;
                }
            }
        }
    }
    EXPECT_GT(compared, 20);
}

TEST(Report, UsageErrorsNameTheirCause) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused{
        {{}, "the temperature is required (-T KELVIN)"},
        {{"e.xvg"}, "the temperature is required (-T KELVIN)"},
        {{"-T"}, "option '--temperature' needs a value"},
        {{"-T", "300"}, "no energy file given"},
        {{"--bogus", "-T", "300", "e.xvg"}, "unknown option '--bogus'"},
        {{"-x"}, "unknown option '-x'"},
        {{"-T", "25C", "e.xvg"}, "invalid temperature '25C' (a positive number in kelvin, such as 298.15 or 298.15K)"},
        {{"-T", "300", "--last", "0", "e.xvg"}, "invalid --last '0' (a whole number from 1 to 100)"},
        {{"--last=101"}, "invalid --last '101' (a whole number from 1 to 100)"},
        {{"--bootstrap", "-1"}, "invalid --bootstrap '-1' (a whole number from 0 to 1000000)"},
        {{"--seed", "1x"}, "invalid --seed '1x' (a whole number from 0 to 18446744073709551615)"},
        {{"--tsv=yes"}, "option '--tsv' takes no value"},
        {{"-T", "300", "--plot", "p.xvg", "a.xvg", "b.xvg"}, "--plot takes one energy file, not 2"},
    };
    for (const auto& [args, reason] : refused) {
        std::istringstream in;
        std::ostringstream out, err;
        EXPECT_EQ(runReport(args, in, out, err), 2) << reason;
        EXPECT_EQ(err.str(), "quenvar-report: " + reason + "\nTry 'quenvar-report --help' for more information.\n");
        EXPECT_EQ(out.str(), "");
    }
    std::istringstream in;
    std::ostringstream version, err;
    EXPECT_EQ(runReport({"--version", "--bogus-after-it-is-still-refused"}, in, version, err), 2);
    EXPECT_EQ(runReport({"e.xvg", "--version"}, in, version, err), 0);
    EXPECT_TRUE(version.str().starts_with("quenvar-report 1.")) << version.str();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-T", "298.15K", "e.xvg"}, {"--temperature=298.15", "e.xvg"}, {"-T298.15 K", "e.xvg"}, {"-T", "298.15", "--", "e.xvg"}}) {
        const auto parsed = parseOptions(args);
        ASSERT_TRUE(std::holds_alternative<Options>(parsed)) << std::get<std::string>(parsed);
        EXPECT_EQ(std::get<Options>(parsed).temperature, 298.15);
        EXPECT_EQ(std::get<Options>(parsed).files, std::vector<std::string>{"e.xvg"});
    }
}

}  // namespace
