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

// sigma^2 / (2 kT), without an intermediate overflow where the result is finite.
double secondOrder(double sigma, double kT) { return sigma * (sigma / (2 * kT)); }

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

// What every resample shares: each frame's deviation from the mean in units of sigma, and its
// exponential shifted by the largest frame, at most 1.
struct Shared {
    struct Frame {
        double w, u;
    };
    std::vector<Frame> frames;
    Deviation deviation;
    double kT, sigma, top;

    // How far `shift` lies above the mean of a resample whose deviations average meanU, taken
    // scaled, so that it overflows only where it lies beyond the doubles.
    double above(double shift, double meanU) const {
        return deviation.scale * (shift / deviation.scale - deviation.mean - deviation.sigma * meanU);
    }
};

// -TdS by the formula from the sum of exp((E - shift) / kT) over n frames and the distance of
// the shift above their mean. At a kT that overflows it is 0, as quenvar's.
double interactionEntropy(double sum, double n, double shiftAboveMean, double kT) {
    return std::isinf(kT) ? 0.0 : shiftAboveMean + std::log(sum / n) * kT;
}

// Where every frame of a resample lies far below the largest of all (beyond about 575 kT), their
// shared exponentials vanish or lose their digits: the resample is summed again with its own
// largest frame as the shift.
constexpr double kVanishingSum = 1e-250;

Estimates resampleEstimate(std::span<const double> energies, const Shared& s, std::size_t block, std::uint64_t seed,
                           std::size_t r) {
    const std::size_t n = energies.size();
    double w = 0.0, u = 0.0, uu = 0.0;
    forEachBlock(n, block, seed, r, [&](std::size_t start, std::size_t length) {
        for (const Shared::Frame& f : std::span(s.frames).subspan(start, length)) {
            w += f.w;
            u += f.u;
            uu += f.u * f.u;
        }
    });
    const double count = static_cast<double>(n), meanU = u / count;
    const double variance = std::max(uu / count - meanU * meanU, 0.0);  // of u, so in units of sigma^2
    const double c2 = variance > 0 ? secondOrder(s.sigma, s.kT) * variance : 0.0;  // at kT = 0 too
    if (w >= kVanishingSum) return {interactionEntropy(w, count, s.above(s.top, meanU), s.kT), c2};
    double top = -std::numeric_limits<double>::infinity();
    forEachBlock(n, block, seed, r, [&](std::size_t start, std::size_t length) {
        for (double e : energies.subspan(start, length)) top = std::max(top, e);
    });
    double sum = 0.0;
    forEachBlock(n, block, seed, r, [&](std::size_t start, std::size_t length) {
        for (double e : energies.subspan(start, length)) sum += e == top ? 1.0 : std::exp((e - top) / s.kT);
    });
    return {interactionEntropy(sum, count, s.above(top, meanU), s.kT), c2};
}

// Of resampled estimates that may lie beyond the doubles (energies near them): their SD is then
// infinite, not NaN.
Spread spreadOf(std::vector<double> values, double estimate) {
    const double count = static_cast<double>(values.size());
    double sum = 0.0;
    for (double v : values) sum += v;
    const double mean = sum / count;
    double squares = 0.0;
    for (double v : values) squares += (v - mean) * (v - mean);
    const double sd = std::isfinite(mean) ? std::sqrt(squares / count) : std::numeric_limits<double>::infinity();
    const double low = percentile(values, 2.5);
    return {sd, mean - estimate, low, percentile(std::move(values), 97.5)};
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

std::size_t blockLength(double g, std::size_t n) {
    char text[32];
    const char* end = std::to_chars(text, text + sizeof text, g, std::chars_format::scientific, 11).ptr;
    const double extra = std::ceil(3 * (quenvar::detail::convertDecimal({text, static_cast<std::size_t>(end - text)}) - 1));
    const std::size_t most = std::max<std::size_t>(n / 10, 1);
    if (!(extra > 0)) return 1;  // NaN too, where a sum overflowed
    return extra >= static_cast<double>(most) ? most : std::min(most, 1 + static_cast<std::size_t>(extra));
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const double rank = static_cast<double>(values.size() - 1) * p / 100;
    const auto below = static_cast<std::size_t>(rank);
    if (below + 1 >= values.size() || values[below] == values[below + 1]) return values[below];  // infinities too
    return values[below] + (rank - static_cast<double>(below)) * (values[below + 1] - values[below]);
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
                                         std::size_t block, std::uint64_t seed) {
    std::vector<Estimates> estimates(resamples);
    const Moments m = moments(frames);
    if (m.sigma == 0) return estimates;  // every resample of equal values gives 0 and 0
    Shared s{{}, Deviation(frames, m), kTAt(temperature), m.sigma, *std::max_element(frames.begin(), frames.end())};
    s.frames.reserve(frames.size());
    for (double e : frames) s.frames.push_back({e == s.top ? 1.0 : std::exp((e - s.top) / s.kT), s.deviation(e)});

    // Each resample is a job of its own, so the results do not depend on how many threads share them.
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t r; (r = next++) < resamples;) estimates[r] = resampleEstimate(frames, s, block, seed, r);
    };
    std::vector<std::thread> helpers;
    try {
        for (unsigned i = 1; i < std::thread::hardware_concurrency() && i * 64 < resamples; ++i) helpers.emplace_back(work);
    } catch (const std::system_error&) {
        // No more threads to be had: those there are share the work.
    }
    work();
    for (std::thread& helper : helpers) helper.join();
    return estimates;
}

}  // namespace detail

Bootstrap bootstrap(std::span<const double> frames, double temperature, Estimates whole, std::size_t resamples,
                    std::size_t block, std::uint64_t seed) {
    if (resamples == 0) return {};
    const std::vector<Estimates> estimates = detail::resampleEstimates(frames, temperature, resamples, block, seed);
    std::vector<double> ie, c2;
    for (const Estimates& e : estimates) {
        ie.push_back(e.ie);
        c2.push_back(e.c2);
    }
    return {spreadOf(std::move(ie), whole.ie), spreadOf(std::move(c2), whole.c2)};
}

}  // namespace quenvar_report
