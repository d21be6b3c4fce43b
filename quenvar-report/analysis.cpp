#include "analysis.h"

#include <algorithm>
#include <cmath>

#include "cpu_count.h"

namespace quenvar_report {
namespace {

decltype(Analysis::warnings) warningsOf(const Analysis& a) {
    decltype(Analysis::warnings) w;
    auto fire = [&w](Warning which, bool fires) { w[static_cast<std::size_t>(which)] = fires; };
    fire(Warning::kFewFrames, a.independent() < kFewFramesBelow);
    fire(Warning::kShortBlocks, a.spread && a.block < a.wantedBlock);
    const bool fewWeightFrames = std::min(a.independentWeightFrames(), a.gaussianWeightFrames()) < kFewWeightFramesBelow;
    fire(Warning::kFewWeightFrames, fewWeightFrames);
    // The halves' difference has about twice the SD of the whole: each half has half the frames,
    // and the two are nearly independent. Where the exponential average rests on too few frames,
    // its bootstrap SD falls short of its spread, and cannot judge its halves.
    if (a.spread && a.firstHalf) {
        const double ie = std::fabs(a.firstHalf->ie - a.secondHalf->ie), c2 = std::fabs(a.firstHalf->c2 - a.secondHalf->c2);
        fire(Warning::kHalvesDiffer,
             c2 > kHalvesApartBeyond * a.spread->c2.sd || (!fewWeightFrames && ie > kHalvesApartBeyond * a.spread->ie.sd));
    }
    fire(Warning::kSigmaBeyondIe, a.sigmaInKT() > kIeSigmaUpTo);
    fire(Warning::kSigmaBeyondC2, a.sigmaInKT() > kC2SigmaUpTo);
    return w;
}

}  // namespace

std::string Analysis::warningCodes() const {
    std::string codes;
    for (std::size_t w = 0; w < kWarningCodes.size(); ++w) {
        if (!warnings[w]) continue;
        if (!codes.empty()) codes += ',';
        codes += kWarningCodes[w];
    }
    return codes;
}

Analysis analyse(const Frames& all, const Options& o, Unit unit) {
    const std::size_t total = all.energies.size(), used = (total * o.last + 99) / 100;
    const std::span<const double> frames = all.energies.subspan(total - used);
    const std::span<const double> enthalpies = all.enthalpies.empty() ? all.enthalpies : all.enthalpies.subspan(total - used);
    // kT in kcal/mol is kT in kJ/mol divided by 4.184 exactly.
    const double kT = unit == Unit::kKcal ? kTAt(o.temperature) / 4.184 : kTAt(o.temperature);
    const double g = statisticalInefficiency(frames), gH = enthalpies.empty() ? 1.0 : statisticalInefficiency(enthalpies);
    Analysis a{used,
               total,
               unit,
               kT,
               moments(frames),
               estimate(frames, kT),
               {},
               {},
               g,
               weightFrames(frames, kT),
               blockLength(std::max(g, gH), used),
               wantedBlockLength(std::max(g, gH)),
               enthalpies.empty() ? std::nullopt : std::optional(moments(enthalpies).mean),
               gH,
               {},
               {},
               Use::kNeither};
    if (used >= 2) {
        a.firstHalf = estimate(frames.first(used / 2), kT);
        a.secondHalf = estimate(frames.subspan(used / 2), kT);
    }
    if (o.resamples > 0) {
        a.spread = bootstrap({frames, enthalpies}, kT, a.whole, a.dh.value_or(0.0),
                             {o.resamples, a.block, o.seed, o.threads != 0 ? o.threads : availableCpus()});
    }
    a.warnings = warningsOf(a);
    if (!a.warns(Warning::kFewWeightFrames) && !a.warns(Warning::kSigmaBeyondIe)) {
        a.use = Use::kInteractionEntropy;
    } else if (!a.warns(Warning::kSigmaBeyondC2)) {
        a.use = Use::kSecondOrder;
    }
    return a;
}

}  // namespace quenvar_report
