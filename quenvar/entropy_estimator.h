#pragma once

#include <span>
#include <vector>

namespace quenvar {

// Per-frame interaction energies in kJ/mol, in file order.
using EnergySeries = std::vector<double>;

inline constexpr double kBoltzmann = 1.3806503e-23;  // J/K
inline constexpr double kAvogadro = 6.0221367e23;    // 1/mol

// -T*dS in kJ/mol from the exponential average of the energy fluctuation:
//   kT * ln < exp(beta * (E - <E>)) >,  beta = 1/kT.
// Temperature in kelvin. An empty series gives NaN.
double estimateEntropyTerm(std::span<const double> series, double temperature);

// The same with kT given in the energies' own unit (kJ/mol: T * kBoltzmann * kAvogadro / 1000).
double entropyTermAtKT(std::span<const double> series, double kT);

}  // namespace quenvar
