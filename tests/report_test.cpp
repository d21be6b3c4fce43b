// quenvar-report against what it must agree with: numpy and pymbar on stored series
// (data/report_reference.txt says how they were made), SplitMix64's published sequence, the
// exact computation on each resample, quenvar's own result on every end-to-end quenvar case, and
// the values recorded for the bundled example.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "analysis.h"
#include "cpu_count.h"
#include "decimal_conversion.h"
#include "energy_file.h"
#include "options.h"
#include "report.h"
#include "statistics.h"
#include "temperature_answer.h"

#ifdef __linux__
#include <sched.h>
#endif
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#endif

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
        if (kind != "example") expectClose(estimate(e, kTAt(300)).c2, reference(kind, "c2_300K"), 1e-12, kind);
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
    EXPECT_EQ(estimate(tenths, kTAt(1e-19)).ie, 0.0);
    EXPECT_EQ(estimate(tenths, kTAt(1e-19)).c2, 0.0);
    EXPECT_EQ(statisticalInefficiency(std::vector<double>{1, 2}), 1.0);
}

// Energies near the double limit: resampled estimates may lie beyond the doubles, but none is NaN
// (which would leave their order, and so the percentiles, undefined).
TEST(ReportResampling, EnergiesNearTheDoubleLimit) {
    const std::vector<double> e{1.7e308, 1.7e308, -1.7e308, 1.7e308};
    for (const Resampled& r : detail::resample({e, {}}, kTAt(300), {50, 1, 1, 1})) EXPECT_FALSE(std::isnan(r.ie) || std::isnan(r.c2));
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

// Each resample's figures against the exact computation on its frames: the energies' estimates
// and the mean of dH over the same blocks, in kJ/mol and in kcal/mol, with blocks that leave a
// cut last block inside a chunk (37 and 61 frames of 2000) and without.
TEST(ReportResampling, EachResampleAgreesWithTheExactComputation) {
    const std::vector<double> dh = series("drifting");
    for (const std::string kind : {"correlated", "correlated in blocks of 37", "uncorrelated", "drifting", "far apart"}) {
        const std::vector<double> e = kind == "far apart" ? farApart() : series(kind.substr(0, kind.find(' ')));
        const std::span<const double> h = std::span(dh).first(e.size());
        const std::size_t block = kind.ends_with("37") ? 37 : blockLength(statisticalInefficiency(e), e.size());
        const double kT = kind == "uncorrelated" ? kTAt(300) / 4.184 : kTAt(300);
        const std::vector<Resampled> shared = detail::resample({e, h}, kT, {200, block, 7, 4});
        for (std::size_t r = 0; r < shared.size(); ++r) {
            const std::vector<double> frames = detail::resampleFrames(e, block, 7, r);
            ASSERT_EQ(frames.size(), e.size());
            const Estimates exact = estimate(frames, kT);
            expectClose(shared[r].ie, exact.ie, 1e-12, kind + " ie, resample " + std::to_string(r));
            expectClose(shared[r].c2, exact.c2, 1e-12, kind + " c2, resample " + std::to_string(r));
            expectClose(shared[r].dh, moments(detail::resampleFrames(h, block, 7, r)).mean, 1e-12, kind + " dh, resample " + std::to_string(r));
        }
        // However many threads shared them, a resample's result is its own.
        const std::vector<Resampled> few = detail::resample({e, h}, kT, {3, block, 7, 1});
        for (std::size_t r = 0; r < few.size(); ++r) EXPECT_EQ(few[r].ie, shared[r].ie) << kind;
    }
}

TEST(ReportStatistics, WeightFramesAsKishCountsThem) {
    const double kT = kTAt(300);
    // Weights 1/2 and 1: (3/2)^2 / (5/4).
    EXPECT_NEAR(weightFrames(std::vector<double>{-100 - kT * std::log(2.0), -100}, kT), 1.8, 1e-14);
    EXPECT_EQ(weightFrames(std::vector<double>{5, 5, 5}, kT), 3.0);
    // Whatever the energies and the temperature, no overflow and no NaN: at kT = 0 the largest
    // frames carry every weight, and where kT overflows every frame weighs the same.
    const std::vector<double> far{-1.7e308, 1.7e308, 1.7e308, 0};
    EXPECT_EQ(weightFrames(far, kT), 2.0);
    EXPECT_EQ(weightFrames(far, kTAt(5e-324)), 2.0);
    EXPECT_EQ(weightFrames(far, kTAt(1e308)), 4.0);
}

// A series stretched about its mean to sigma = sigmaKT kT at 300 K.
std::vector<double> stretched(std::vector<double> e, double sigmaKT) {
    const Moments m = moments(e);
    for (double& x : e) x = m.mean + (x - m.mean) * sigmaKT * kTAt(300) / m.sigma;
    return e;
}

// The warnings each stored series must raise, and the estimate to report, from their causes:
// n/g (few_frames below 100), the blocks n/10 cuts (short_blocks), n_w/g (few_weight_frames
// below 100), sigma in kT (beyond 6 and 10), and the halves against 4 bootstrap SDs.
TEST(ReportAnalysis, WarningsAndTheEstimateToReport) {
    const std::vector<double> uncorrelated = series("uncorrelated"), correlated = series("correlated");
    std::vector<double> changing = uncorrelated;  // its fluctuation doubles halfway
    for (std::size_t i = changing.size() / 2; i < changing.size(); ++i) changing[i] = 2 * changing[i] - moments(uncorrelated).mean;
    struct Expected {
        std::string what;
        std::vector<double> e;
        std::size_t resamples;
        std::string warnings;
        Use use;
    };
    const std::vector<Expected> expected{
        // n/g 2000, n_w/g 156, sigma 1.6 kT; its halves differ by 3 SDs, which twice the SD took as a warning.
        {"stationary", uncorrelated, 1000, "", Use::kInteractionEntropy},
        {"stationary at 4 kT", stretched(uncorrelated, 4), 1000, "few_weight_frames", Use::kSecondOrder},  // n_w/g 6.6
        {"stationary at 7 kT", stretched(uncorrelated, 7), 1000, "few_weight_frames,sigma_beyond_ie", Use::kSecondOrder},
        {"stationary at 11 kT", stretched(uncorrelated, 11), 1000, "few_weight_frames,sigma_beyond_ie,sigma_beyond_c2", Use::kNeither},
        {"correlated", correlated, 1000, "few_frames,few_weight_frames", Use::kSecondOrder},  // n/g 96, n_w/g 8.8
        // 300 frames, g 51: blocks of 30 where 61 are wanted; without resamples, no blocks.
        {"short", {correlated.begin(), correlated.begin() + 300}, 1000, "few_frames,short_blocks,few_weight_frames", Use::kSecondOrder},
        {"short, no resamples", {correlated.begin(), correlated.begin() + 300}, 0, "few_frames,few_weight_frames", Use::kSecondOrder},
        {"changing", changing, 1000, "few_weight_frames,halves_differ", Use::kSecondOrder},
        {"changing, no resamples", changing, 0, "few_weight_frames", Use::kSecondOrder},
        {"example", example(), 1000, "few_weight_frames", Use::kSecondOrder},  // n/g 178, n_w/g 1.6
    };
    for (const Expected& x : expected) {
        Options o;
        o.temperature = 300;
        o.resamples = x.resamples;
        const Analysis a = analyse({x.e, {}}, o, Unit::kKJ);
        EXPECT_EQ(a.warningCodes(), x.warnings) << x.what;
        EXPECT_EQ(a.use, x.use) << x.what;
    }
}

#ifdef __linux__
TEST(ReportThreads, AsManyAsTheAffinityMaskAllows) {
    cpu_set_t all;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    EXPECT_EQ(availableCpus(), static_cast<unsigned>(CPU_COUNT(&all)));
    cpu_set_t one;
    CPU_ZERO(&one);
    for (std::size_t cpu = 0; CPU_COUNT(&one) == 0; ++cpu) {
        if (CPU_ISSET(cpu, &all)) CPU_SET(cpu, &one);
    }
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    const unsigned granted = availableCpus();
    sched_setaffinity(0, sizeof all, &all);
    EXPECT_EQ(granted, 1u);
}
#endif

// Standard output that cannot be written: one message, status 1, and no further file read.
TEST(Report, AWriteErrorIsReportedOnce) {
    struct Full : std::streambuf {
        int_type overflow(int_type) override { return traits_type::eof(); }
    } full;
    std::ostream out(&full);
    std::istringstream in;
    std::ostringstream err;
    EXPECT_EQ(runReport({"-T", "300", "--bootstrap", "0", EXAMPLE_FILE, "missing.xvg"}, in, out, err), 1);
    EXPECT_EQ(err.str(), "quenvar-report: write error\n");
    err.str("");
    EXPECT_EQ(runReport({"--help"}, in, out, err), 1);
    EXPECT_EQ(err.str(), "quenvar-report: write error\n");
}

#ifndef _WIN32  // no FIFOs, and links need privileges
// The chart through a link, into a FIFO, and over a chart with its own permission bits.
TEST(Report, ChartTargetsAreWrittenNeverReplacedWhereTheyAreNoFiles) {
    const fs::path dir = fs::temp_directory_path() / ("report-chart-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string energy = (dir / "e.xvg").string();
    std::ofstream(energy) << "1 2 3 4 5 6 7 -100\n1 2 3 4 5 6 7 -102\n1 2 3 4 5 6 7 -98\n";
    const auto plot = [&energy](const fs::path& chart) {
        std::istringstream in;
        std::ostringstream out, err;
        return runReport({"-T", "300", "--bootstrap", "0", "--plot", chart.string(), energy}, in, out, err);
    };
    const auto read = [](const fs::path& path) {
        std::ifstream file(path);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    fs::create_symlink("chart.xvg", dir / "link.xvg");
    ASSERT_EQ(plot(dir / "link.xvg"), 0);
    EXPECT_TRUE(fs::is_symlink(dir / "link.xvg"));
    const std::string chart = read(dir / "chart.xvg");
    EXPECT_TRUE(chart.starts_with("# -TdS over the first k frames of ")) << chart;

    const fs::perms kept = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(dir / "chart.xvg", kept);
    ASSERT_EQ(plot(dir / "chart.xvg"), 0);
    EXPECT_EQ(fs::status(dir / "chart.xvg").permissions(), kept);

    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = read(dir / "fifo"); });
    EXPECT_EQ(plot(dir / "fifo"), 0);
    close(open((dir / "fifo").c_str(), O_WRONLY | O_NONBLOCK));  // ends the reader, had the chart never come
    reader.join();
    EXPECT_EQ(received, chart);
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 4) << "no temporary file left";
    // A chart named by a link to the energy file is refused, and the file stays.
    fs::create_symlink("e.xvg", dir / "energy-link.xvg");
    EXPECT_EQ(plot(dir / "energy-link.xvg"), 2);
    EXPECT_EQ(read(energy), "1 2 3 4 5 6 7 -100\n1 2 3 4 5 6 7 -102\n1 2 3 4 5 6 7 -98\n");
    fs::remove_all(dir);
}
#endif

std::vector<std::string> tsvFields(const std::string& line) {
    std::vector<std::string> fields{""};
    for (char c : line) {
        if (c == '\t') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
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
    ASSERT_EQ(got.size(), 40u);
    ASSERT_EQ(want.size(), 40u);
    for (std::size_t i = 1; i < 24; ++i) {
        expectClose(quenvar::detail::convertDecimal(got[i]), quenvar::detail::convertDecimal(want[i]), 1e-12, tsvFields(header)[i]);
    }
    // The warnings, the estimate to report, the unit, and no dH or dG.
    for (std::size_t i = 24; i < got.size(); ++i) EXPECT_EQ(got[i], want[i]) << tsvFields(header)[i];
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
    EXPECT_EQ(quenvar::detail::convertDecimal(last[1][6]), estimate(std::span(e).last(990), kTAt(298.15)).ie);
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
    EXPECT_NE(out.str().find("  first half                       n/a                 n/a\n"
                             "  second half                      n/a                 n/a\n"),
              std::string::npos)
        << out.str();
}

// dH and dG of the suites' CSV against numpy, and their SDs against a joint moving-block bootstrap
// written independently in numpy (data/make_report_reference.py). The generators differ, so the
// SDs agree only to Monte-Carlo noise, about 1% at 20,000 resamples each: held to 4%. dG's SD is
// the joint one, nearer numpy's than what adding dH's and -TdS's SDs in quadrature gives.
TEST(Report, FreeEnergyAgreesWithNumpy) {
    const auto rows = tsvRows({"-T", "300", "--tsv", "--bootstrap", "20000", (fs::path(DATA_DIR) / "suite_delta.csv").string()});
    ASSERT_EQ(rows.size(), 2u);
    std::map<std::string, std::string> field;
    for (std::size_t i = 0; i < rows[0].size(); ++i) field[rows[0][i]] = rows[1].at(i);
    const auto number = [&field](const std::string& name) { return quenvar::detail::convertDecimal(field.at(name)); };
    EXPECT_EQ(field["unit"], "kcal/mol");
    EXPECT_EQ(number("block"), reference("suite", "block"));
    for (const std::string name : {"dh", "dg_ie", "dg_c2"}) expectClose(number(name), reference("suite", name), 1e-13, name);
    for (const std::string name : {"dh_sd", "dg_ie_sd", "dg_c2_sd"}) expectClose(number(name), reference("suite", name), 0.04, name);
    EXPECT_LT(std::fabs(number("dg_c2_sd") - reference("suite", "dg_c2_sd")),
              std::fabs(number("dg_c2_sd") - reference("suite", "dg_c2_sd_in_quadrature")));
}

// The suites' CSV on standard input beside a table, in one run: each read in its own layout and
// unit, dH cut by --last as the energies are, and --unit overriding the layout's own.
TEST(Report, LayoutsMixInOneRunAndStandardInputReadsEither) {
    const std::string csv = "GENERALIZED BORN:\nDelta Energy Terms\nFrame #,VDWAALS,EEL,TOTAL\n1,-60,-40,-30.5\n2,-61.5,-40.5,-31\n"
                            "3,-58.25,-39.75,-29.5\n4,-59,-41,-30\n";
    const auto rows = tsvRows({"-T", "300", "--tsv", "--bootstrap", "0", "--last", "50", "-", EXAMPLE_FILE}, csv);
    ASSERT_EQ(rows.size(), 3u);
    std::map<std::string, std::size_t> column;
    for (std::size_t i = 0; i < rows[0].size(); ++i) column[rows[0][i]] = i;
    const auto field = [&](std::size_t row, const std::string& name) { return rows[row].at(column.at(name)); };
    EXPECT_EQ(field(1, "frames"), "2");
    EXPECT_EQ(field(1, "unit"), "kcal/mol");
    EXPECT_EQ(quenvar::detail::convertDecimal(field(1, "dh")), -29.75);  // the last two frames' TOTAL
    const std::vector<double> last{-98.0, -100.0};
    EXPECT_EQ(quenvar::detail::convertDecimal(field(1, "c2")), estimate(last, kTAt(300) / 4.184).c2);
    EXPECT_EQ(field(2, "unit"), "kJ/mol");
    EXPECT_EQ(field(2, "dh"), "");
    // The example in kcal/mol: the same energies, a kT 4.184 times smaller.
    const auto kcal = tsvRows({"-T", "300", "--tsv", "--bootstrap", "0", "--unit", "kcal", EXAMPLE_FILE});
    const auto kJ = tsvRows({"-T", "300", "--tsv", "--bootstrap", "0", EXAMPLE_FILE});
    expectClose(quenvar::detail::convertDecimal(kcal.at(1).at(column.at("c2"))),
                4.184 * quenvar::detail::convertDecimal(kJ.at(1).at(column.at("c2"))), 1e-14, "c2 in kcal/mol");
    EXPECT_EQ(kcal[1][column.at("unit")], "kcal/mol");
}

// What the suites' CSV may not be, each refused with its reason, and the other files still read.
TEST(Report, SuiteCsvRefusalsNameTheirCause) {
    const std::string header = "Frame #,VDWAALS,EEL,TOTAL\n";
    const std::vector<std::pair<std::string, std::string>> refused{
        {"GENERALIZED BORN:\nComplex Energy Terms\n" + header + "1,2,3,4\n", "has no Delta Energy Terms block"},
        {"Delta Energy Terms\n1,-60,-40,-30\n", "line 2 is not the header (\"Frame #,...\") of the block its title begins"},
        {"GENERALIZED BORN:\nenergies follow\n", "line 2 is neither a title nor in a block"},
        {"Delta Energy Terms\n" + header + "1,-60,,-30\n", "line 3 has no number in its field ''"},
        {"Delta Energy Terms\n" + header + "1,-60,1e400,-30\n", "line 3 has no number in its field '1e400'"},
        {"Delta Energy Terms\n" + header + "1,-60,-40 kcal,-30\n", "line 3 has no number in its field '-40 kcal'"},
        {"Delta Energy Terms\n" + header + "1,-60,-40,-30\n\nDelta Energy Terms\nFrame #,VDWAALS,EEL\n2,-61,-41\n",
         "line 6 heads a block with dH where an earlier one had none, or none where it had"},
    };
    for (const auto& [contents, reason] : refused) {
        std::istringstream in(contents);
        std::ostringstream out, err;
        EXPECT_EQ(runReport({"-T", "300", "--bootstrap", "0", "--tsv", "-", EXAMPLE_FILE}, in, out, err), 1) << contents;
        EXPECT_EQ(err.str(), "quenvar-report: -: " + reason + "\n") << contents;
        const std::string report = out.str();
        EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 2) << "the header and the example's row";
    }
}

#ifndef _WIN32  // Windows allows no tab, line end or backslash in a file's name
TEST(Report, TsvNamesAFileInOneField) {
    const fs::path file = fs::temp_directory_path() / "tab\tline\nand\\backslash.xvg";
    std::ofstream(file) << "1 2 3 4 5 6 7 -100\n1 2 3 4 5 6 7 -102\n";
    const auto rows = tsvRows({"-T", "300", "--tsv", file.string()});
    fs::remove(file);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].at(0), (fs::temp_directory_path() / "tab\\tline\\nand\\\\backslash.xvg").string());
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
        {{"-T", "300", "--threads", "0", "a.xvg"}, "invalid --threads '0' (a whole number from 1 to 1024)"},
        {{"--column", "2+"}, "invalid --column '2+' (columns joined by +, each a number from 1 to 100000 or a name)"},
        {{"--enthalpy=0"}, "invalid --enthalpy '0' (columns joined by +, each a number from 1 to 100000 or a name)"},
        {{"--column", "100001"}, "invalid --column '100001' (columns joined by +, each a number from 1 to 100000 or a name)"},
        {{"--unit", "furlong"}, "invalid --unit 'furlong' (kJ or kcal)"},
        {{"--model="}, "invalid --model '' (gb, pb or the start of a model's title)"},
        {{"-T", "300", "-", "a.xvg", "--", "-"}, "standard input (-) is named twice: it can be read once"},
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
    const auto parsed = parseOptions({"-T", "300", "--unit", "KCAL", "--column", "Coul-SR:Protein-LIG+3", "e.xvg"});
    ASSERT_TRUE(std::holds_alternative<Options>(parsed));
    EXPECT_EQ(std::get<Options>(parsed).unit, Unit::kKcal);
    EXPECT_EQ(std::get<Options>(parsed).column, (std::vector<std::string>{"Coul-SR:Protein-LIG", "3"}));
}

}  // namespace
