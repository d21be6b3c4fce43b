#include "entropy_estimator.h"

#include <algorithm>
#include <cmath>

namespace {

// Below this largest scaled deviation the plain sum of exponentials cannot overflow
// (exp(512) times any realistic frame count stays far below the double range), so the
// result is computed exactly as the textbook formula reads. Above it, the sum is shifted.
constexpr double kShiftThreshold = 512.0;

struct MeanAndMax {
    double mean;
    double maxEnergy;
};

// One pass for both: the largest deviation from the mean is maxEnergy - mean exactly, since
// subtracting the same mean and rounding never reorders two values.
MeanAndMax meanAndMax(const EnergySeries& series, double n) {
    double sum = 0.0, maxEnergy = -INFINITY;
    for (double e : series) {
        sum += e;
        maxEnergy = std::max(maxEnergy, e);
    }
    if (std::isfinite(sum)) return {sum / n, maxEnergy};
    // Only energies near the double range overflow the plain sum; average the scaled values.
    double mean = 0.0;
    for (double e : series) mean += e / n;
    return {mean, maxEnergy};
}

}  // namespace

double estimateEntropyTerm(const EnergySeries& series, double temperature) {
    const double n = static_cast<double>(series.size());
    const auto [mean, maxEnergy] = meanAndMax(series, n);
    const double kT = temperature * kBoltzmann * kAvogadro / 1000;
    const double beta = 1.0 / kT;
    const double maxDeviation = maxEnergy - mean;

    if (std::isfinite(beta) && maxDeviation * beta <= kShiftThreshold) {
        double sum = 0.0;
        for (double e : series) sum += std::exp((e - mean) * beta);
        return std::log(sum / n) * kT;
    }

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
