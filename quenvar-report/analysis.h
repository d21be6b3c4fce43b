#pragma once

#include <array>
#include <bitset>
#include <cmath>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "options.h"
#include "statistics.h"

namespace quenvar_report {

// Where the intervals stop holding 95%, as the coverage benchmark (bench/COVERAGE.md) measured
// them on series whose true value is known.
inline constexpr double kFewFramesBelow = 100;        // n / g: both intervals too narrow
inline constexpr double kFewWeightFramesBelow = 100;  // the weights' frames / g: the exponential average too low
inline constexpr double kHalvesApartBeyond = 4;       // |h1 - h2| in bootstrap SDs: twice the SD of the difference
inline constexpr double kIeSigmaUpTo = 6;    // sigma in kT up to which the exponential average can converge
inline constexpr double kC2SigmaUpTo = 10;   // and the second-order estimate stays realistic

// What the report can say against trusting a result, each a code in the TSV, in this order.
enum class Warning { kFewFrames, kShortBlocks, kFewWeightFrames, kHalvesDiffer, kSigmaBeyondIe, kSigmaBeyondC2 };
inline constexpr std::array<std::string_view, 6> kWarningCodes{"few_frames",    "short_blocks",    "few_weight_frames",
                                                               "halves_differ", "sigma_beyond_ie", "sigma_beyond_c2"};

// The estimate to report: the exponential average unless its own warnings fired, else the second
// order unless sigma is beyond it too, else neither.
enum class Use { kInteractionEntropy, kSecondOrder, kNeither };

// The unit's name, as every figure carries it.
inline const char* unitName(Unit unit) { return unit == Unit::kKcal ? "kcal/mol" : "kJ/mol"; }

struct Analysis {
    std::size_t frames, total;
    Unit unit;
    double kT;  // in the unit
    Moments moments;
    Estimates whole;
    std::optional<Estimates> firstHalf, secondHalf;  // none below 2 frames
    double inefficiency, weightFrames;               // g, and Kish's n_w of the exponential weights
    std::size_t block, wantedBlock;                  // L, and L without the cap of n / 10
    std::optional<double> dh;                        // <dH>, where the input has dH
    double dhInefficiency;                           // its g (L follows the larger g)
    std::optional<Bootstrap> spread;                 // none without resamples
    std::bitset<kWarningCodes.size()> warnings;
    Use use;

    double independent() const { return static_cast<double>(frames) / inefficiency; }
    double independentWeightFrames() const { return weightFrames / inefficiency; }
    // What the weights of a Gaussian E of this sigma would rest on: n exp(-(sigma/kT)^2) / g. A
    // sample short of the tail that dominates the average shows more frames than that.
    double gaussianWeightFrames() const { return independent() * std::exp(-sigmaInKT() * sigmaInKT()); }
    double sigmaInKT() const { return moments.sigma == 0 ? 0.0 : moments.sigma / kT; }
    double dg(double Estimates::*kind) const { return *dh + whole.*kind; }  // where there is dH
    bool warns(Warning w) const { return warnings[static_cast<std::size_t>(w)]; }
    std::string warningCodes() const;  // the codes of those that fired, joined by commas
};

// Everything the report says of the last `o.last` percent of the frames, in their unit.
Analysis analyse(const Frames& all, const Options& o, Unit unit);

}  // namespace quenvar_report
