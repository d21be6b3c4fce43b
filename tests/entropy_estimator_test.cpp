#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <iomanip>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "entropy_estimator.h"

namespace {

using namespace quenvar;

// The exponential average exactly as the method states it, with no protection from overflow.
double textbookEstimate(const EnergySeries& series, double temperature) {
    const double n = static_cast<double>(series.size());
    double sum = 0.0;
    for (double e : series) sum += e;
    const double mean = sum / n;
    const double kT = temperature * kBoltzmann * kAvogadro / 1000;
    const double beta = 1.0 / kT;
    double s = 0.0;
    for (double e : series) s += std::exp((e - mean) * beta);
    return std::log(s / n) * kT;
}

double kTAt(double temperature) { return temperature * kBoltzmann * kAvogadro / 1000; }

TEST(EntropyEstimator, WorkedExample) {
    EXPECT_NEAR(estimateEntropyTerm(EnergySeries{-100, -102, -98}, 300), 0.5083058506673532, 1e-15);
    EXPECT_DOUBLE_EQ(kTAt(298.15), 2.478957692492035);
    EXPECT_DOUBLE_EQ(kTAt(300), 2.494339452448803);
}

// Wherever the textbook formula does not overflow, the result is that formula's, to the bit.
TEST(EntropyEstimator, OrdinarySeriesGiveTheTextbookResult) {
    std::mt19937_64 random(42);
    for (int trial = 0; trial < 200; ++trial) {
        std::normal_distribution<double> energy(-300.0 + trial, 0.5 + trial * 0.05);
        EnergySeries series(1 + random() % 3000);
        for (double& e : series) e = energy(random);
        const double temperature = 250.0 + trial;
        const double expected = textbookEstimate(series, temperature);
        ASSERT_TRUE(std::isfinite(expected));
        const double result = estimateEntropyTerm(series, temperature);
        EXPECT_EQ(result, expected) << "trial " << trial;
        EXPECT_GE(result, -1e-12) << "trial " << trial;  // Jensen: never below zero beyond rounding
    }
}

// Two values at mean +- d give kT ln cosh(d/kT), written here in forms that neither overflow nor
// cancel: ln cosh x = log1p(expm1(x)^2 / (2 e^x)) = x + ln((1 + e^-2x) / 2).
TEST(EntropyEstimator, TwoValuesFollowLogCoshAtAnySpread) {
    const double kT = kTAt(300);
    for (double d : {0.5, 3.0, 50.0, 354.0, 900.0, 2000.0, 1e5, 1e9}) {
        const double x = d / kT;
        const double expected = x < 20 ? kT * std::log1p(std::expm1(x) * std::expm1(x) / (2 * std::exp(x)))
                                       : d + kT * std::log((1 + std::exp(-2 * x)) / 2);
        const double result = estimateEntropyTerm(EnergySeries{-40.0 - d, -40.0 + d}, 300);
        EXPECT_NEAR(result, expected, 1e-12 * expected) << "d = " << d;
    }
    EXPECT_NEAR(estimateEntropyTerm(EnergySeries{0, 4000}, 300), 2000 + kT * std::log(0.5), 1e-12 * 2000);
}

TEST(EntropyEstimator, OneLargeDeviationAmongManyStaysFinite) {
    EnergySeries series(100000, -250.0);
    series[500] = 5000.0;  // exp of about 2100 kT in the plain sum
    const double result = estimateEntropyTerm(series, 298.15);
    const double mean = -250.0 + 5250.0 / 100000;
    const double expected = (5000.0 - mean) + kTAt(298.15) * std::log(1.0 / 100000);  // others vanish
    EXPECT_NEAR(result, expected, 1e-12 * expected);
}

// The result as the dialogue prints it, at the edges: exact zeros, the switch to the shifted sum
// on either side of its threshold, and the limits at vanishing and overflowing temperatures.
TEST(EntropyEstimator, PrintedResultsAtTheEdges) {
    struct Row {
        EnergySeries series;
        double temperature;
        std::string printed;
    };
    for (const Row& row : std::vector<Row>{
             {{-250, -250, -250, -250}, 298.15, "         0"},
             {{123.456}, 310, "         0"},
             {{1e308, 1e308, 1e308}, 300, "         0"},  // the plain sum of the energies overflows
             {{0, 20}, 1, "   9.99424"},                   // 1202 kT apart: shifted, or exp overflows
             {{0, 4000, 3999}, 300, "   1332.21"},          // 535 kT: just past the threshold
             {{0, 2000, 1999}, 300, "   665.538"},          // 267 kT: the plain sum
             {{1.0, 3.0}, 1e-310, "         1"},            // 1/kT overflows: the largest deviation
             {{1.0, 3.0}, DBL_TRUE_MIN, "         1"},
             {{2.0, 2.0}, 1e-310, "         0"},
             {{0.1, 0.1, 0.1}, 1e-19, "-1.38778e-17"},      // every deviation -1.7e4 kT: shifted, not ln 0
             {{0.1, 0.1, 0.1}, 1e-18, "-1.38778e-17"},
             {{-100}, 1e308, "         0"},                 // kT overflows: the limit 0, not 0 * inf
             {{-100, -102, -98}, 2.2e307, "         0"},
             {{-100, -102, -98}, 1e307, "         0"},       // kT finite, beta tiny
         }) {
        std::ostringstream printed;
        printed << std::setw(10) << estimateEntropyTerm(row.series, row.temperature);
        EXPECT_EQ(printed.str(), row.printed) << "T = " << row.temperature << ", first energy " << row.series.front();
    }
}

TEST(EntropyEstimator, EmptySeriesIsNotANumber) { EXPECT_TRUE(std::isnan(estimateEntropyTerm({}, 300))); }

}  // namespace
