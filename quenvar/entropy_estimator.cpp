#include "entropy_estimator.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quenvar {
namespace {

// While the largest scaled deviation lies within this of 0, the plain sum of exponentials can
// neither overflow (exp(512) times any realistic frame count stays far below the double range)
// nor vanish (its largest term is at least exp(-512)), so the result is computed exactly as the
// textbook formula reads. Beyond it, either way, the sum is shifted by the largest deviation.
constexpr double kShiftThreshold = 512.0;

struct MeanAndMax {
    double mean;
    double maxEnergy;
};

// One pass for both: the largest deviation from the mean is maxEnergy - mean exactly, since
// subtracting the same mean and rounding never reorders two values.
MeanAndMax meanAndMax(std::span<const double> series, double n) {
    double sum = 0.0, maxEnergy = -std::numeric_limits<double>::infinity();
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

double estimateEntropyTerm(std::span<const double> series, double temperature) {
    return entropyTermAtKT(series, temperature * kBoltzmann * kAvogadro / 1000);
}

double entropyTermAtKT(std::span<const double> series, double kT) {
    const double n = static_cast<double>(series.size());
    const auto [mean, maxEnergy] = meanAndMax(series, n);
    // So hot that kT overflows: beta is 0 and the term has reached its limit, 0 (it falls off
    // as beta * variance / 2).
    if (std::isinf(kT) && n > 0) return 0.0;
    const double beta = 1.0 / kT;
    const double maxDeviation = maxEnergy - mean;

    if (std::isfinite(beta) && std::fabs(maxDeviation * beta) <= kShiftThreshold) {
        double sum = 0.0;
        for (double e : series) sum += std::exp((e - mean) * beta);
        return std::log(sum / n) * kT;
    }

    // Log-sum-exp: every term is at most 1, and the largest is exactly 1, so the sum lies in
    // [1, n] and neither overflows nor vanishes. (The largest deviation is below 0 only through
    // rounding, where the mean of a nearly constant series lies just above every value.) Dividing
    // by kT (not multiplying by an infinite beta) keeps a vanishing kT well defined: the result
    // tends to the largest deviation.
    double shifted = 0.0;
    for (double e : series) {
        const double d = e - mean;
        shifted += d == maxDeviation ? 1.0 : std::exp((d - maxDeviation) / kT);
    }
    return maxDeviation + std::log(shifted / n) * kT;
}

}  // namespace quenvar
