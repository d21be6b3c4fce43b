#include "entropy_estimator.h"

#include <algorithm>
#include <cmath>

namespace {

// Below this largest scaled deviation the plain sum of exponentials cannot overflow
// (exp(512) times any realistic frame count stays far below the double range), so the
// result is computed exactly as the textbook formula reads. Above it, the sum is shifted.
constexpr double kShiftThreshold = 512.0;

double meanOf(const EnergySeries& series, double n) {
    double sum = 0.0;
    for (double e : series) sum += e;
    if (std::isfinite(sum)) return sum / n;
    // Only energies near the double range overflow the plain sum; average the scaled values.
    double mean = 0.0;
    for (double e : series) mean += e / n;
    return mean;
}

}  // namespace

double estimateEntropyTerm(const EnergySeries& series, double temperature) {
    const double n = static_cast<double>(series.size());
    const double mean = meanOf(series, n);
    const double kT = temperature * kBoltzmann * kAvogadro / 1000;
    const double beta = 1.0 / kT;

    double maxDeviation = -INFINITY;
    for (double e : series) maxDeviation = std::max(maxDeviation, e - mean);

    if (std::isfinite(beta) && maxDeviation * beta <= kShiftThreshold) {
        double sum = 0.0;
        for (double e : series) sum += std::exp((e - mean) * beta);
        return std::log(sum / n) * kT;
    }
    if (series.empty()) return NAN;

    // Log-sum-exp: every term is at most 1, and the largest is exactly 1, so the sum lies
    // in [1, n] and neither overflows nor vanishes. Dividing by kT (not multiplying by an
    // infinite beta) keeps a vanishing kT well defined: the result tends to the largest deviation.
    double shifted = 0.0;
    for (double e : series) {
        const double d = e - mean;
        shifted += d == maxDeviation ? 1.0 : std::exp((d - maxDeviation) / kT);
    }
    return maxDeviation + std::log(shifted / n) * kT;
}
