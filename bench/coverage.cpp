// How often the report's 95% intervals hold the true -TdS, on Gaussian AR(1) series whose true
// value is known (sigma^2 / 2kT: for a Gaussian both estimates have that limit), and how often
// each warning fires and each estimate is chosen. Calls the report's own analysis in-process.
//
// Usage: coverage [REPLICATES] (make coverage). Prints Markdown for bench/COVERAGE.md; exits 1
// where a warning misses the rule it is calibrated by.
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

#include "analysis.h"

using namespace quenvar_report;

namespace {

constexpr double kTemperature = 300;
constexpr std::array<double, 4> kSigmas{1, 2, 3, 4};  // in kT
constexpr std::array<double, 3> kCorrelations{0, 0.9, 0.99};
constexpr std::array<std::size_t, 3> kLengths{500, 5000, 50000};

// Standard normal draws from SplitMix64 by Box and Muller, the same sequence on every platform
// (but for the last bits of the maths library).
class Normal {
public:
    explicit Normal(std::uint64_t seed) : random_(seed) {}
    double next() {
        if (held_) {
            held_ = false;
            return spare_;
        }
        const double u1 = (static_cast<double>(random_.next() >> 11) + 1) * 0x1p-53;  // (0, 1]
        const double u2 = static_cast<double>(random_.next() >> 11) * 0x1p-53;
        const double radius = std::sqrt(-2 * std::log(u1)), angle = 2 * std::numbers::pi * u2;
        spare_ = radius * std::sin(angle);
        held_ = true;
        return radius * std::cos(angle);
    }

private:
    detail::SplitMix64 random_;
    double spare_ = 0;
    bool held_ = false;
};

// n frames of -200 kJ/mol + sigma x, x a stationary AR(1) series of unit variance.
std::vector<double> series(std::size_t n, double phi, double sigma, std::uint64_t seed) {
    Normal normal(seed);
    std::vector<double> e(n);
    double x = normal.next();
    const double innovation = std::sqrt(1 - phi * phi);
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) x = phi * x + innovation * normal.next();
        e[i] = -200 + sigma * x;
    }
    return e;
}

struct Cell {
    double sigma, phi;
    std::size_t n;
    int replicates = 0, ieHeld = 0, c2Held = 0;
    double ieBias = 0, c2Bias = 0;  // summed relative biases
    std::array<int, kWarningCodes.size()> fired{};
    std::array<int, 3> used{};  // by Use
    std::vector<double> weightFrames{};  // n_w / g of each replicate
    std::vector<double> weightFramesGaussian{};  // and what a Gaussian E would give
    // For the totals: intervals that held, among replicates without their interval's warnings.
    int ieQuiet = 0, ieQuietHeld = 0, c2Quiet = 0, c2QuietHeld = 0, chosen = 0, chosenHeld = 0, silent = 0, silentHeld = 0;

    double independent() const { return static_cast<double>(n) * (1 - phi) / (1 + phi); }
    double rate(int count) const { return static_cast<double>(count) / replicates; }
    double warned(Warning w) const { return rate(fired[static_cast<std::size_t>(w)]); }
};

bool holds(const Spread& s, double truth) { return s.low <= truth && truth <= s.high; }

}  // namespace

int main(int argc, char** argv) {
    const int replicates = argc > 1 ? std::atoi(argv[1]) : 200;
    if (replicates < 1) {
        std::fprintf(stderr, "usage: coverage [REPLICATES]\n");
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();
    Options o;
    o.temperature = kTemperature;
    const double kT = kTAt(kTemperature);

    std::vector<Cell> cells;
    std::uint64_t seed = 1;
    for (double phi : kCorrelations) {
        for (std::size_t n : kLengths) {
            for (double sigma : kSigmas) {
                Cell c{sigma, phi, n};
                const double truth = sigma * sigma * kT / 2;
                for (int r = 0; r < replicates; ++r) {
                    o.seed = seed;
                    const std::vector<double> e = series(n, phi, sigma * kT, seed++ * 0x632be59bd9b4e019);
                    const Analysis a = analyse({e, {}}, o, Unit::kKJ);
                    const bool ie = holds(a.spread->ie, truth), c2 = holds(a.spread->c2, truth);
                    ++c.replicates;
                    c.ieHeld += ie;
                    c.c2Held += c2;
                    c.ieBias += (a.whole.ie - truth) / truth;
                    c.c2Bias += (a.whole.c2 - truth) / truth;
                    for (std::size_t w = 0; w < kWarningCodes.size(); ++w) c.fired[w] += a.warnings[w];
                    ++c.used[static_cast<std::size_t>(a.use)];
                    c.weightFrames.push_back(a.independentWeightFrames());
                    c.weightFramesGaussian.push_back(a.gaussianWeightFrames());
                    if (!a.warns(Warning::kFewWeightFrames) && !a.warns(Warning::kSigmaBeyondIe)) {
                        ++c.ieQuiet;
                        c.ieQuietHeld += ie;
                    }
                    if (!a.warns(Warning::kFewFrames) && !a.warns(Warning::kShortBlocks)) {
                        ++c.c2Quiet;
                        c.c2QuietHeld += c2;
                    }
                    if (a.use != Use::kNeither) {
                        const bool held = a.use == Use::kInteractionEntropy ? ie : c2;
                        ++c.chosen;
                        c.chosenHeld += held;
                        c.silent += a.warnings.none();
                        c.silentHeld += a.warnings.none() && held;
                    }
                }
                cells.push_back(c);
                std::fprintf(stderr, "phi %g, n %zu, sigma %g kT: done\n", phi, n, sigma);
            }
        }
    }

    std::printf("# How often the intervals hold\n\n");
    std::printf("Gaussian AR(1) series at %g K, -200 kJ/mol + sigma x, true -TdS = sigma^2 / 2kT; %d replicates a cell,\n"
                "the report's defaults (1000 resamples of blocks of 1 + ceil(3 (g - 1)) frames, at most n/10).\n"
                "IE: the interaction-entropy (exponential average) interval; C2: the second-order one.\n"
                "Warnings are rates among the cell's replicates; `use` is the estimate the report chose.\n\n",
                kTemperature, replicates);
    std::printf("| phi | n | n/g | sigma (kT) | IE holds | C2 holds | IE rel. bias | C2 rel. bias |");
    for (auto code : kWarningCodes) std::printf(" %.*s |", static_cast<int>(code.size()), code.data());
    std::printf(" use ie | use c2 | neither | n_w/g: 10%%, 50%%, 90%% | Gaussian n_w/g |\n|");
    for (int i = 0; i < 8 + static_cast<int>(kWarningCodes.size()) + 5; ++i) std::printf("---:|");
    std::printf("\n");
    int missed = 0;
    std::vector<std::string> misses;
    for (const Cell& c : cells) {
        std::printf("| %g | %zu | %.0f | %g | %.3f | %.3f | %+.3f | %+.3f |", c.phi, c.n, c.independent(), c.sigma, c.rate(c.ieHeld),
                    c.rate(c.c2Held), c.ieBias / c.replicates, c.c2Bias / c.replicates);
        for (int f : c.fired) std::printf(" %.2f |", c.rate(f));
        for (int u : c.used) std::printf(" %.2f |", c.rate(u));
        for (const std::vector<double>* frames : {&c.weightFrames, &c.weightFramesGaussian}) {
            std::printf(" %.3g, %.3g, %.3g |", percentile(*frames, 10), percentile(*frames, 50), percentile(*frames, 90));
        }
        std::printf("\n");
        char cell[96];
        std::snprintf(cell, sizeof cell, "phi %g, n %zu, sigma %g kT", c.phi, c.n, c.sigma);
        // The rules the warnings are calibrated by: where an interval holds less than 0.85, one of
        // its warnings fires on at least 90% of the replicates; where it holds at least 0.93, its
        // frame-count warning fires on at most 10%; the halves' false alarms stay at most 12%.
        const auto rule = [&](bool met, const std::string& what) {
            if (!met) misses.push_back(std::string(cell) + ": " + what);
            missed += !met;
        };
        const double eitherIe = c.rate(c.replicates - c.ieQuiet), eitherC2 = c.rate(c.replicates - c.c2Quiet);
        if (c.rate(c.ieHeld) < 0.85) rule(eitherIe >= 0.9, "IE holds < 0.85, its warnings fire on " + std::to_string(eitherIe));
        if (c.rate(c.c2Held) < 0.85) rule(eitherC2 >= 0.9, "C2 holds < 0.85, its warnings fire on " + std::to_string(eitherC2));
        if (c.rate(c.ieHeld) >= 0.93) rule(c.warned(Warning::kFewWeightFrames) <= 0.1, "IE holds >= 0.93, few_weight_frames > 0.1");
        if (c.rate(c.c2Held) >= 0.93) rule(c.warned(Warning::kFewFrames) <= 0.1, "C2 holds >= 0.93, few_frames > 0.1");
        if (c.independent() >= 200) rule(c.warned(Warning::kHalvesDiffer) <= 0.12, "halves_differ > 0.12 on a stationary series");
    }

    // Totals over every cell: every interval, and those the warnings leave standing.
    Cell all{};
    for (const Cell& c : cells) {
        all.replicates += c.replicates;
        all.ieHeld += c.ieHeld;
        all.c2Held += c.c2Held;
        all.ieQuiet += c.ieQuiet;
        all.ieQuietHeld += c.ieQuietHeld;
        all.c2Quiet += c.c2Quiet;
        all.c2QuietHeld += c.c2QuietHeld;
        all.chosen += c.chosen;
        all.chosenHeld += c.chosenHeld;
        all.silent += c.silent;
        all.silentHeld += c.silentHeld;
    }
    const auto share = [](int part, int whole) { return whole > 0 ? static_cast<double>(part) / whole : 0.0; };
    std::printf("\n## Over all %zu cells\n\n| interval | replicates | holds |\n|---|---:|---:|\n", cells.size());
    std::printf("| IE, every replicate | %d | %.3f |\n", all.replicates, share(all.ieHeld, all.replicates));
    std::printf("| IE, where neither few_weight_frames nor sigma_beyond_ie fired | %d | %.3f |\n", all.ieQuiet, share(all.ieQuietHeld, all.ieQuiet));
    std::printf("| C2, every replicate | %d | %.3f |\n", all.replicates, share(all.c2Held, all.replicates));
    std::printf("| C2, where neither few_frames nor short_blocks fired | %d | %.3f |\n", all.c2Quiet, share(all.c2QuietHeld, all.c2Quiet));
    std::printf("| the one `use` chose | %d | %.3f |\n", all.chosen, share(all.chosenHeld, all.chosen));
    std::printf("| the one `use` chose, where no warning fired | %d | %.3f |\n", all.silent, share(all.silentHeld, all.silent));

    std::printf("\n## Rules\n\n");
    if (misses.empty()) std::printf("Every rule met.\n");
    for (const std::string& m : misses) std::printf("- MISSED: %s\n", m.c_str());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("\nTook %.0f s.\n", seconds);
    return missed == 0 ? 0 : 1;
}
