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

// A frame as a resample sums it: its exponential shifted by the largest frame (at most 1), and its
// deviation from the mean in units of sigma; and the sums of frames, with the deviations' squares.
struct Sample {
    double w = 0.0, u = 0.0;
};
struct Terms {
    double w = 0.0, u = 0.0, uu = 0.0;
    Terms& operator+=(const Terms& other) {
        w += other.w;
        u += other.u;
        uu += other.uu;
        return *this;
    }
    Terms& operator+=(const Sample& frame) {
        w += frame.w;
        u += frame.u;
        uu += frame.u * frame.u;
        return *this;
    }
};

// Frames' values summed within aligned chunks of `block` frames, from each frame to its chunk's
// end (suffix), and over its chunk's frames before it (before). A block of a resample
// [s, s + L) is then suffix[s] + before[s + L], whether it crosses into the next chunk or is one:
// no sum is a difference, so nothing cancels, and a resample costs n / L lookups, not n frames.
// Blocks shorter than kSummedFrom frames are summed from the frames themselves instead: a few
// neighbouring frames cost less to read than two lookups far apart (on 1,000,000 frames in blocks
// of 2, the chunk sums took 1.2 times as long).
constexpr std::size_t kSummedFrom = 8;

template <typename Sum, typename Frame>
struct ChunkSums {
    std::size_t block;
    std::vector<Frame> frames;       // for short blocks
    std::vector<Sum> suffix, before;  // for the others; before has n + 1 entries

    template <typename Of>
    ChunkSums(std::size_t n, std::size_t blockSize, Of of) : block(blockSize) {
        if (block < kSummedFrom) {
            frames.resize(n);
            for (std::size_t i = 0; i < n; ++i) frames[i] = of(i);
            return;
        }
        suffix.resize(n);
        before.resize(n + 1);
        for (std::size_t chunk = 0; chunk < n; chunk += block) {
            const std::size_t end = std::min(chunk + block, n);
            Sum sum{};
            for (std::size_t i = chunk; i < end; ++i) {
                before[i] = sum;
                (suffix[i] = Sum{}) += of(i);
                sum += suffix[i];
            }
            if (end == n && n % block != 0) before[n] = sum;  // a block may end at the last frame, inside a chunk
            sum = {};
            for (std::size_t i = end; i-- > chunk;) suffix[i] = sum += suffix[i];
        }
    }

    // Adds frames [start, start + length), a block or a resample's cut last block; a cut block
    // inside a chunk (once a resample at most, and shorter than a block) frame by frame.
    template <typename Of>
    void add(std::size_t start, std::size_t length, Sum& sum, Of of) const {
        if (block < kSummedFrom) {
            for (std::size_t i = start; i < start + length; ++i) sum += frames[i];
        } else if (length == block || start % block + length >= block) {
            sum += suffix[start];
            sum += before[start + length];
        } else {
            for (std::size_t i = start; i < start + length; ++i) sum += of(i);
        }
    }
};

// What every resample shares: the frames' terms, and dH's deviations from its mean where there
// is dH, in chunk sums.
struct Shared {
    std::span<const double> energies, enthalpies;
    Deviation deviation;
    double kT, sigma, top, meanH;
    ChunkSums<Terms, Sample> terms;
    ChunkSums<double, double> dh;

    Shared(const Frames& frames, const Moments& m, double kTValue, std::size_t block)
        : energies(frames.energies), enthalpies(frames.enthalpies), deviation(frames.energies, m), kT(kTValue), sigma(m.sigma),
          top(*std::max_element(energies.begin(), energies.end())), meanH(moments(enthalpies).mean),
          terms(energies.size(), block, [this](std::size_t i) { return termsOf(i); }),
          dh(enthalpies.size(), block, [this](std::size_t i) { return dhOf(i); }) {}

    Sample termsOf(std::size_t i) const {
        const double e = energies[i];
        return {e == top ? 1.0 : std::exp((e - top) / kT), deviation(e)};
    }
    double dhOf(std::size_t i) const { return enthalpies[i] - meanH; }

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

Resampled resampleOnce(const Shared& s, std::uint64_t seed, std::size_t r) {
    const std::size_t n = s.energies.size(), block = s.terms.block;
    const bool withDh = !s.enthalpies.empty();
    Terms sum;
    double h = 0.0;
    forEachBlock(n, block, seed, r, [&](std::size_t start, std::size_t length) {
        s.terms.add(start, length, sum, [&s](std::size_t i) { return s.termsOf(i); });
        if (withDh) s.dh.add(start, length, h, [&s](std::size_t i) { return s.dhOf(i); });
    });
    const double count = static_cast<double>(n), meanU = sum.u / count, dh = s.meanH + h / count;
    const double variance = sum.uu / count - meanU * meanU;  // of u, so in units of sigma^2
    // Equal energies give 0 and 0, as on the whole series, at kT = 0 too.
    if (s.sigma == 0 || variance <= 0) return {0.0, 0.0, dh};
    const double c2 = secondOrder(s.sigma, s.kT) * variance;
    if (sum.w >= kVanishingSum) return {interactionEntropy(sum.w, count, s.above(s.top, meanU), s.kT), c2, dh};
    double top = -std::numeric_limits<double>::infinity();
    forEachBlock(n, block, seed, r, [&](std::size_t start, std::size_t length) {
        for (double e : s.energies.subspan(start, length)) top = std::max(top, e);
    });
    double own = 0.0;
    forEachBlock(n, block, seed, r, [&](std::size_t start, std::size_t length) {
        for (double e : s.energies.subspan(start, length)) own += e == top ? 1.0 : std::exp((e - top) / s.kT);
    });
    return {interactionEntropy(own, count, s.above(top, meanU), s.kT), c2, dh};
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

Estimates estimate(std::span<const double> frames, double kT) {
    const Moments m = moments(frames);
    if (m.sigma == 0) return {};
    return {quenvar::entropyTermAtKT(frames, kT), secondOrder(m.sigma, kT)};
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

double weightFrames(std::span<const double> frames, double kT) {
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

std::vector<Resampled> resample(const Frames& frames, double kT, const Resampling& resampling) {
    std::vector<Resampled> resampled(resampling.resamples);
    const Shared s(frames, moments(frames.energies), kT, resampling.block);
    // Each resample is a job of its own, so the results do not depend on how many threads share them.
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t r; (r = next++) < resampling.resamples;) resampled[r] = resampleOnce(s, resampling.seed, r);
    };
    std::vector<std::thread> helpers;
    try {
        for (unsigned i = 1; i < resampling.threads && i * 64 < resampling.resamples; ++i) helpers.emplace_back(work);
    } catch (const std::system_error&) {
        // No more threads to be had: those there are share the work.
    }
    work();
    for (std::thread& helper : helpers) helper.join();
    return resampled;
}

}  // namespace detail

Bootstrap bootstrap(const Frames& frames, double kT, Estimates whole, double dh, const Resampling& resampling) {
    const std::vector<Resampled> resampled = detail::resample(frames, kT, resampling);
    std::vector<double> values(resampled.size());
    const auto spread = [&](double estimate, auto figure) {
        std::transform(resampled.begin(), resampled.end(), values.begin(), figure);
        return spreadOf(values, estimate);
    };
    Bootstrap b{spread(whole.ie, [](const Resampled& r) { return r.ie; }), spread(whole.c2, [](const Resampled& r) { return r.c2; }), {}, {}, {}};
    if (!frames.enthalpies.empty()) {
        b.dh = spread(dh, [](const Resampled& r) { return r.dh; });
        b.dgIe = spread(dh + whole.ie, [](const Resampled& r) { return r.dh + r.ie; });
        b.dgC2 = spread(dh + whole.c2, [](const Resampled& r) { return r.dh + r.c2; });
    }
    return b;
}

}  // namespace quenvar_report
