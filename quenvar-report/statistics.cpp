#include "statistics.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <system_error>
#include <thread>
#include <utility>

#include "decimal_conversion.h"
#include "entropy_estimator.h"

namespace quenvar_report {
namespace {

// The mean of the frames, overflow-free: energies near the double range are averaged scaled.
double meanOf(std::span<const double> frames) {
    const double n = static_cast<double>(frames.size());
    double sum = 0.0;
    for (double e : frames) sum += e;
    if (std::isfinite(sum)) return sum / n;
    double mean = 0.0;
    for (double e : frames) mean += e / n;
    return mean;
}

// A power of two near the largest magnitude among the frames. Deviations taken on the frames
// divided by it cannot overflow, whatever the energies, and are the same bits, scaled.
double scaleOf(std::span<const double> frames) {
    double largest = 0.0;
    for (double e : frames) largest = std::max(largest, std::fabs(e));
    return largest > 0 && std::isfinite(largest) ? std::ldexp(1.0, std::ilogb(largest)) : 1.0;
}

// A frame's deviation from the mean in units of sigma, taken so.
struct Deviation {
    double scale, mean, sigma;
    Deviation(std::span<const double> frames, const Moments& m)
        : scale(scaleOf(frames)), mean(m.mean / scale), sigma(m.sigma / scale) {}
    double operator()(double e) const { return (e / scale - mean) / sigma; }
};

// sigma^2 / (2 kT), from the mantissas and exponents apart, so that it overflows or vanishes only
// where the result lies beyond the doubles, whatever the temperature. kT = 0 gives infinity.
double secondOrder(double sigma, double kT) {
    int sigmaExponent = 0, kTExponent = 0;
    const double s = std::frexp(sigma, &sigmaExponent), k = std::frexp(kT, &kTExponent);
    return std::ldexp(s * s / (2 * k), 2 * sigmaExponent - kTExponent);
}

// In-place radix-2 FFT of a power-of-two length (the inverse unscaled), with twiddle factors
// each computed directly, not by repeated multiplication, so that they stay accurate.
void fft(std::vector<std::complex<double>>& a, bool inverse) {
    const std::size_t m = a.size();
    for (std::size_t i = 1, j = 0; i < m; ++i) {
        std::size_t bit = m >> 1;
        for (; (j & bit) != 0; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    std::vector<std::complex<double>> twiddles(m / 2);
    for (std::size_t k = 0; k < m / 2; ++k) {
        twiddles[k] = std::polar(1.0, (inverse ? 2 : -2) * std::numbers::pi * static_cast<double>(k) / static_cast<double>(m));
    }
    for (std::size_t half = 1; half < m; half *= 2) {
        const std::size_t stride = m / (2 * half);
        for (std::size_t start = 0; start < m; start += 2 * half) {
            for (std::size_t k = 0; k < half; ++k) {
                const std::complex<double> odd = a[start + k + half] * twiddles[k * stride];
                a[start + k + half] = a[start + k] - odd;
                a[start + k] += odd;
            }
        }
    }
}

// sum_i u[i] u[i + t] for every lag t, by FFT: O(n log n) where the direct sums are O(n^2).
std::vector<double> lagProducts(const std::vector<double>& u) {
    std::size_t m = 1;
    while (m < 2 * u.size()) m *= 2;  // zero padding keeps the products from wrapping around
    std::vector<std::complex<double>> a(u.begin(), u.end());
    a.resize(m);
    fft(a, false);
    for (auto& x : a) x = std::norm(x);
    fft(a, true);
    std::vector<double> products(u.size());
    for (std::size_t t = 0; t < u.size(); ++t) products[t] = a[t].real() / static_cast<double>(m);
    return products;
}

// The lags whose products are summed directly; a longer sum (a drifting series) takes the FFT.
constexpr std::size_t kDirectLags = 128;

// Each resample draws from its own stretch of the one SplitMix64 sequence, this many draws long.
constexpr std::uint64_t kStretch = std::uint64_t{1} << 40;

// Calls take(start, length) for each block of resample r, in order.
template <typename Take>
void forEachBlock(std::size_t n, std::size_t block, std::uint64_t seed, std::size_t r, Take take) {
    detail::SplitMix64 random(seed + static_cast<std::uint64_t>(r) * kStretch * detail::SplitMix64::kGamma);
    const std::uint64_t starts = n - block + 1;
    // Drawn a batch at a time, so that the frames' loads need not wait for the draws.
    constexpr std::size_t kBatch = 64;
    std::size_t batch[kBatch];
    for (std::size_t filled = 0; filled < n;) {
        const std::size_t count = std::min(kBatch, (n - filled + block - 1) / block);
        for (std::size_t i = 0; i < count; ++i) batch[i] = static_cast<std::size_t>(random.below(starts));
        for (std::size_t i = 0; i < count; ++i, filled += block) take(batch[i], std::min(block, n - filled));
    }
}

// A frame's terms in a resample's sums: its exponential shifted by the largest frame (at most 1),
// and its deviation from the mean in units of sigma, with its square.
struct Terms {
    double w = 0.0, u = 0.0, uu = 0.0;
    Terms& operator+=(const Terms& other) {
        w += other.w;
        u += other.u;
        uu += other.uu;
        return *this;
    }
};

// What every resample shares: the frames' terms summed within aligned chunks of `block` frames,
// from each frame to its chunk's end (suffix) and from its chunk's start to it (prefix). A block
// of a resample is then at most one suffix and one prefix: no sum is a difference, so nothing
// cancels, and a resample costs n / block lookups instead of n frames.
struct Shared {
    std::span<const double> energies;
    Deviation deviation;
    double kT, sigma, top;
    std::size_t block;
    std::vector<Terms> suffix, prefix;  // no prefix for blocks of one frame, each a whole chunk

    Shared(std::span<const double> frames, const Moments& m, double temperature, std::size_t blockSize)
        : energies(frames), deviation(frames, m), kT(kTAt(temperature)), sigma(m.sigma),
          top(*std::max_element(frames.begin(), frames.end())), block(blockSize), suffix(frames.size()) {
        const std::size_t n = frames.size();
        if (block > 1) prefix.resize(n);
        for (std::size_t i = 0; i < n; ++i) suffix[i] = termsOf(frames[i]);
        for (std::size_t chunk = 0; chunk < n; chunk += block) {
            const std::size_t end = std::min(chunk + block, n);
            Terms sum;
            for (std::size_t i = chunk; i < end && block > 1; ++i) prefix[i] = sum += suffix[i];
            sum = {};
            for (std::size_t i = end; i-- > chunk;) suffix[i] = sum += suffix[i];
        }
    }

    Terms termsOf(double e) const {
        const double u = deviation(e);
        return {e == top ? 1.0 : std::exp((e - top) / kT), u, u * u};
    }

    // The terms of frames [start, start + length), a block or a resample's cut last block.
    Terms sumOf(std::size_t start, std::size_t length) const {
        const std::size_t chunk = start - start % block, last = start + length - 1;
        const std::size_t chunkLast = std::min(chunk + block, energies.size()) - 1;
        if (last > chunkLast) {
            Terms sum = suffix[start];
            return sum += prefix[last];
        }
        if (last == chunkLast) return suffix[start];
        if (start == chunk) return prefix[last];
        Terms sum;  // a cut block inside a chunk: once a resample at most, and shorter than a block
        for (double e : energies.subspan(start, length)) sum += termsOf(e);
        return sum;
    }

    // How far `shift` lies above the mean of a resample whose deviations average meanU, taken
    // scaled, so that it overflows only where it lies beyond the doubles.
    double above(double shift, double meanU) const {
        return deviation.scale * (shift / deviation.scale - deviation.mean - deviation.sigma * meanU);
    }
};

// -TdS by the formula from the sum of exp((E - shift) / kT) over n frames and the distance of
// the shift above their mean. Within 512 kT the shift is multiplied back into the sum before the
// logarithm, so that a resample whose exponentials all round to 1 gives 0, as the formula does on
// it (at a kT far above the spread of the energies). At a kT that overflows it is 0, as quenvar's.
double interactionEntropy(double sum, double n, double shiftAboveMean, double kT) {
    if (std::isinf(kT)) return 0.0;
    shiftAboveMean = std::max(shiftAboveMean, 0.0);  // the largest frame lies below the mean only by rounding
    const double raised = shiftAboveMean / kT;       // NaN at kT = 0 with the shift at the mean
    if (raised <= 512) return std::log(sum / n * std::exp(raised)) * kT;
    return shiftAboveMean + std::log(sum / n) * kT;
}

// Where every frame of a resample lies far below the largest of all (beyond about 575 kT), their
// shared exponentials vanish or lose their digits: the resample is summed again with its own
// largest frame as the shift.
constexpr double kVanishingSum = 1e-250;

Estimates resampleEstimate(const Shared& s, std::uint64_t seed, std::size_t r) {
    const std::size_t n = s.energies.size();
    Terms sum;
    forEachBlock(n, s.block, seed, r, [&](std::size_t start, std::size_t length) { sum += s.sumOf(start, length); });
    const double count = static_cast<double>(n), meanU = sum.u / count;
    const double variance = sum.uu / count - meanU * meanU;  // of u, so in units of sigma^2
    if (variance <= 0) return {};  // equal frames give 0 and 0, as on the whole series, at kT = 0 too
    const double c2 = secondOrder(s.sigma, s.kT) * variance;
    if (sum.w >= kVanishingSum) return {interactionEntropy(sum.w, count, s.above(s.top, meanU), s.kT), c2};
    double top = -std::numeric_limits<double>::infinity();
    forEachBlock(n, s.block, seed, r, [&](std::size_t start, std::size_t length) {
        for (double e : s.energies.subspan(start, length)) top = std::max(top, e);
    });
    double own = 0.0;
    forEachBlock(n, s.block, seed, r, [&](std::size_t start, std::size_t length) {
        for (double e : s.energies.subspan(start, length)) own += e == top ? 1.0 : std::exp((e - top) / s.kT);
    });
    return {interactionEntropy(own, count, s.above(top, meanU), s.kT), c2};
}

// Of resampled estimates, which may lie beyond the doubles (energies near them, or kT = 0): their
// SD is then infinite, and their mean infinite too (NaN where both infinities occur).
Spread spreadOf(const std::vector<double>& values, double estimate) {
    if (std::all_of(values.begin(), values.end(), [estimate](double v) { return v == estimate; })) {
        return {0.0, 0.0, estimate, estimate};
    }
    const double low = percentile(values, 2.5), high = percentile(values, 97.5);
    if (std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); })) {
        const Moments m = moments(values);
        return {m.sigma, m.mean - estimate, low, high};
    }
    double sum = 0.0;
    for (double v : values) sum += v;
    return {std::numeric_limits<double>::infinity(), sum - estimate, low, high};
}

}  // namespace

double kTAt(double temperature) { return temperature * quenvar::kBoltzmann * quenvar::kAvogadro / 1000; }

Moments moments(std::span<const double> frames) {
    if (frames.empty()) return {};
    const auto [low, high] = std::minmax_element(frames.begin(), frames.end());
    if (*low == *high) return {*low, 0.0};
    const double mean = meanOf(frames), scale = scaleOf(frames);
    double squares = 0.0;
    for (double e : frames) {
        const double d = e / scale - mean / scale;
        squares += d * d;
    }
    return {mean, scale * std::sqrt(squares / static_cast<double>(frames.size()))};
}

Estimates estimate(std::span<const double> frames, double temperature) {
    const Moments m = moments(frames);
    if (m.sigma == 0) return {};
    return {quenvar::estimateEntropyTerm(frames, temperature), secondOrder(m.sigma, kTAt(temperature))};
}

double statisticalInefficiency(std::span<const double> frames) {
    const std::size_t n = frames.size();
    const Moments m = moments(frames);
    if (m.sigma == 0) return 1.0;
    std::vector<double> u(n);
    std::transform(frames.begin(), frames.end(), u.begin(), Deviation(frames, m));
    double squares = 0.0;
    for (double x : u) squares += x * x;
    const double variance = squares / static_cast<double>(n);
    double g = 1.0;
    // Adds lag t's term; false where the sum stops there.
    auto add = [&](std::size_t t, double products) {
        const double c = products / (static_cast<double>(n - t) * variance);
        if (c <= 0.0 && t > 3) return false;
        g += 2.0 * c * (1.0 - static_cast<double>(t) / static_cast<double>(n));
        return true;
    };
    std::size_t t = 1;
    for (; t + 1 < n && t <= kDirectLags; ++t) {
        double products = 0.0;
        for (std::size_t i = 0; i + t < n; ++i) products += u[i] * u[i + t];
        if (!add(t, products)) return std::max(g, 1.0);
    }
    if (t + 1 < n) {
        const std::vector<double> products = lagProducts(u);
        for (; t + 1 < n && add(t, products[t]); ++t) {
        }
    }
    return std::max(g, 1.0);
}

double weightFrames(std::span<const double> frames, double temperature) {
    const double kT = kTAt(temperature);
    if (frames.empty()) return 0.0;
    if (std::isinf(kT)) return static_cast<double>(frames.size());  // beta = 0: equal weights
    const double top = *std::max_element(frames.begin(), frames.end());
    double sum = 0.0, squares = 0.0;  // each weight at most 1 and the largest 1: both in [1, n]
    for (double e : frames) {
        const double w = e == top ? 1.0 : std::exp((e - top) / kT);
        sum += w;
        squares += w * w;
    }
    return sum * (sum / squares);
}

std::size_t wantedBlockLength(double g) {
    char text[32];
    const char* end = std::to_chars(text, text + sizeof text, g, std::chars_format::scientific, 11).ptr;
    const double extra = std::ceil(3 * (quenvar::detail::convertDecimal({text, static_cast<std::size_t>(end - text)}) - 1));
    if (!(extra > 0)) return 1;  // NaN too, where a sum overflowed
    return extra >= static_cast<double>(SIZE_MAX - 1) ? SIZE_MAX : 1 + static_cast<std::size_t>(extra);
}

std::size_t blockLength(double g, std::size_t n) { return std::min(wantedBlockLength(g), std::max<std::size_t>(n / 10, 1)); }

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const double rank = static_cast<double>(values.size() - 1) * p / 100;
    const auto below = static_cast<std::size_t>(rank);
    const double fraction = rank - static_cast<double>(below);
    // On a rank, or between equal values, no interpolation: 0 times an infinity would be NaN.
    if (fraction == 0 || values[below] == values[below + 1]) return values[below];
    return values[below] + fraction * (values[below + 1] - values[below]);
}

namespace detail {

std::vector<double> resampleFrames(std::span<const double> frames, std::size_t block, std::uint64_t seed, std::size_t r) {
    std::vector<double> resample;
    forEachBlock(frames.size(), block, seed, r, [&](std::size_t start, std::size_t length) {
        const auto taken = frames.subspan(start, length);
        resample.insert(resample.end(), taken.begin(), taken.end());
    });
    return resample;
}

std::vector<Estimates> resampleEstimates(std::span<const double> frames, double temperature, std::size_t resamples,
                                         std::size_t block, std::uint64_t seed, unsigned threads) {
    std::vector<Estimates> estimates(resamples);
    const Moments m = moments(frames);
    if (m.sigma == 0) return estimates;  // every resample of equal values gives 0 and 0
    const Shared s(frames, m, temperature, block);

    // Each resample is a job of its own, so the results do not depend on how many threads share them.
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t r; (r = next++) < resamples;) estimates[r] = resampleEstimate(s, seed, r);
    };
    std::vector<std::thread> helpers;
    try {
        for (unsigned i = 1; i < threads && i * 64 < resamples; ++i) helpers.emplace_back(work);
    } catch (const std::system_error&) {
        // No more threads to be had: those there are share the work.
    }
    work();
    for (std::thread& helper : helpers) helper.join();
    return estimates;
}

}  // namespace detail

Bootstrap bootstrap(std::span<const double> frames, double temperature, Estimates whole, std::size_t resamples,
                    std::size_t block, std::uint64_t seed, unsigned threads) {
    if (resamples == 0) return {};
    const std::vector<Estimates> estimates = detail::resampleEstimates(frames, temperature, resamples, block, seed, threads);
    std::vector<double> ie, c2;
    for (const Estimates& e : estimates) {
        ie.push_back(e.ie);
        c2.push_back(e.c2);
    }
    return {spreadOf(ie, whole.ie), spreadOf(c2, whole.c2)};
}

}  // namespace quenvar_report
