#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>

#include "entropy_estimator.h"

namespace {

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
    EXPECT_NEAR(estimateEntropyTerm({-100, -102, -98}, 300), 0.5083058506673532, 1e-15);
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
        EXPECT_EQ(estimateEntropyTerm(series, temperature), expected) << "trial " << trial;
        EXPECT_GE(expected, -1e-12);  // Jensen: never below zero beyond rounding
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
        const double result = estimateEntropyTerm({-40.0 - d, -40.0 + d}, 300);
        EXPECT_NEAR(result, expected, 1e-12 * expected) << "d = " << d;
    }
    EXPECT_NEAR(estimateEntropyTerm({0, 4000}, 300), 2000 + kT * std::log(0.5), 1e-12 * 2000);
}

TEST(EntropyEstimator, OneLargeDeviationAmongManyStaysFinite) {
    EnergySeries series(100000, -250.0);
    series[500] = 5000.0;  // exp of about 2100 kT in the plain sum
    const double result = estimateEntropyTerm(series, 298.15);
    const double mean = -250.0 + 5250.0 / 100000;
    const double expected = (5000.0 - mean) + kTAt(298.15) * std::log(1.0 / 100000);  // others vanish
    EXPECT_NEAR(result, expected, 1e-12 * expected);
}

TEST(EntropyEstimator, ExactZeros) {
    EXPECT_EQ(estimateEntropyTerm({-250, -250, -250, -250}, 298.15), 0.0);
    EXPECT_EQ(estimateEntropyTerm({123.456}, 310), 0.0);
    EXPECT_EQ(estimateEntropyTerm({1e308, 1e308, 1e308}, 300), 0.0);  // the plain sum overflows
}

TEST(EntropyEstimator, EmptySeriesIsNotANumber) { EXPECT_TRUE(std::isnan(estimateEntropyTerm({}, 300))); }

// So cold that 1/kT overflows: the average tends to its largest term, the largest deviation.
TEST(EntropyEstimator, VanishingTemperatureGivesLargestDeviation) {
    EXPECT_EQ(estimateEntropyTerm({1.0, 3.0}, 1e-310), 1.0);
    EXPECT_EQ(estimateEntropyTerm({1.0, 3.0}, DBL_TRUE_MIN), 1.0);
    EXPECT_EQ(estimateEntropyTerm({2.0, 2.0}, 1e-310), 0.0);
}

}  // namespace
