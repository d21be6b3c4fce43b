#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quenvar_report {

// kT in kJ/mol at a temperature in kelvin, as quenvar computes it. Every figure below takes kT in
// the unit of the energies (kJ/mol divided by 4.184 for kcal/mol).
double kTAt(double temperature);

// -TdS by the interaction-entropy formula (quenvar's own estimator) and by the second-order
// estimate sigma^2 / (2 kT). A series whose values are all equal gives 0 and 0, though rounding
// in its mean would leave a trace.
struct Estimates {
    double ie = 0.0, c2 = 0.0;
};
Estimates estimate(std::span<const double> frames, double kT);

// The mean and the population standard deviation (divided by n); sigma is 0 for equal values.
struct Moments {
    double mean = 0.0, sigma = 0.0;
};
Moments moments(std::span<const double> frames);

// The statistical inefficiency g of the series as pymbar 3's statisticalInefficiency computes it
// with its defaults: g = 1 + 2 sum (1 - t/n) C(t) over the lags t < n - 1, C(t) normalised by
// (n - t) sigma^2, lags 1 to 3 always counted and the sum stopped at the first C(t) <= 0 after
// them; at least 1, and 1 where sigma is 0.
double statisticalInefficiency(std::span<const double> frames);

// Kish's effective number of frames under the exponential average's weights
// w = exp((E - E_max) / kT): (sum w)^2 / sum w^2, from 1 (one frame dominates) to n (equal weights).
double weightFrames(std::span<const double> frames, double kT);

// The bootstrap's block length for g: 1 + ceil(3 (g - 1)), with g rounded to 12 significant
// digits so that its last bits cannot change it; and that length for n frames, at most n / 10
// and at least 1.
std::size_t wantedBlockLength(double g);
std::size_t blockLength(double g, std::size_t n);

// What the resampled values of one figure show: their standard deviation (divided by their
// number), their mean less the estimate, and their 2.5% and 97.5% percentiles. Where every
// resample gives the estimate, 0, 0 and the estimate twice; NaN where a figure is undefined (the
// mean of infinite estimates less an infinite estimate).
struct Spread {
    double sd = 0.0, bias = 0.0, low = 0.0, high = 0.0;
};

// The frames to resample: the interaction energies and, where the input has it, dH of each frame.
struct Frames {
    std::span<const double> energies, enthalpies;
};

// A resample's estimates, and its <dH> (0 without dH).
struct Resampled {
    double ie = 0.0, c2 = 0.0, dh = 0.0;
};

// How to resample: `resamples` of blocks of `block` frames, from `seed`, on up to `threads`.
struct Resampling {
    std::size_t resamples, block;
    std::uint64_t seed;
    unsigned threads;
};

// The spreads of both estimates, and with dH of <dH> and of dG = <dH> - TdS by each estimate,
// each resample's dG from its own <dH> and -TdS, so that their correlation is kept.
struct Bootstrap {
    Spread ie, c2, dh, dgIe, dgC2;
};

// A moving-block bootstrap about the whole series' estimates and <dH> (any value without dH):
// each resample joins blocks of `block` consecutive frames, starting anywhere from 0 to
// n - block, to n frames (the last block cut). Resample r draws from its own stretch of one
// SplitMix64 sequence started at `seed`, so the result is the same on every platform and for any
// number of threads (at most one per 64 resamples).
Bootstrap bootstrap(const Frames& frames, double kT, Estimates whole, double dh, const Resampling& resampling);

// The p-th percentile (0 to 100) of the values, interpolated linearly between the two nearest
// ranks, as numpy's default does.
double percentile(std::vector<double> values, double p);

namespace detail {

// SplitMix64 (Steele, Lea and Flood 2014): a fixed, published output sequence.
class SplitMix64 {
public:
    static constexpr std::uint64_t kGamma = 0x9e3779b97f4a7c15;
    explicit SplitMix64(std::uint64_t state) : state_(state) {}
    std::uint64_t next();
    // Uniform on [0, range) for range >= 1, without bias and the same on every platform.
    std::uint64_t below(std::uint64_t range);

private:
    std::uint64_t state_;
};

inline std::uint64_t SplitMix64::next() {
    std::uint64_t z = (state_ += kGamma);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
    z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
    return z ^ (z >> 31);
}

inline std::uint64_t SplitMix64::below(std::uint64_t range) {
    constexpr std::uint64_t k32 = std::uint64_t{1} << 32;
    if (range <= k32) {
        // Lemire's multiply-and-reject on a draw's high 32 bits: one multiplication.
        std::uint64_t product = (next() >> 32) * range;
        if ((product & 0xffffffff) < range) {
            const std::uint64_t threshold = (k32 - range) % range;
            while ((product & 0xffffffff) < threshold) product = (next() >> 32) * range;
        }
        return product >> 32;
    }
    // Beyond 2^32 frames: the draws below 2^64 mod range are rejected, and the rest taken modulo.
    const std::uint64_t threshold = (std::uint64_t{0} - range) % range;
    std::uint64_t x = next();
    while (x < threshold) x = next();
    return x % range;
}

// Resample r's frames of a series, in order.
std::vector<double> resampleFrames(std::span<const double> frames, std::size_t block, std::uint64_t seed, std::size_t r);

// Each resample's figures, from sums of terms every resample shares.
std::vector<Resampled> resample(const Frames& frames, double kT, const Resampling& resampling);

}  // namespace detail

}  // namespace quenvar_report
