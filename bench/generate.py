#!/usr/bin/env python3
"""Deterministic inputs for the benchmark (fixed seeds).

  generate.py energy N    an energy file of N frames: the example file's header and trajectory
                          model, nine numbers a line at six decimals (131 bytes a line)
  generate.py uncorrelated N   the same with independent frames (g = 1)
  generate.py drifting N       the same drifting by 30 kJ/mol over the trajectory
  generate.py summary M   a summary of M complexes, the non-polar model taking turns
"""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples"))
from make_energy_file import main as write_energy  # noqa: E402


def write_summary(complexes, seed=7, out=sys.stdout):
    rng = random.Random(seed)
    models = ["SASA", "SAV", "WCA"]
    for number in range(1, complexes + 1):
        out.write("=" * 70 + "\n Complex %d: receptor with ligand %d\n" % (number, number) + "=" * 70 + "\n")
        terms = {
            "van der Waals energy": rng.uniform(-250, -80),
            "Electrostatic energy": rng.uniform(-150, -10),
            "Polar solvation energy": rng.uniform(50, 200),
        }
        model = models[number % 3]
        for name in models:
            terms[name + " energy"] = rng.uniform(-25, -5) if name == model else 0.0
        terms["Binding energy"] = sum(terms.values())
        for label, value in terms.items():
            error = abs(value) * rng.uniform(0.02, 0.1)
            out.write("%-26s= %10.3f   +/- %9.3f kJ/mol\n" % (label, value, error))
        out.write("END\n")


if __name__ == "__main__":
    kind, count = sys.argv[1], int(sys.argv[2])
    if kind == "energy":
        write_energy(count, decimals=6)
    elif kind == "uncorrelated":
        write_energy(count, decimals=6, correlation=0.0)
    elif kind == "drifting":
        write_energy(count, decimals=6, drift=30.0)
    elif kind == "summary":
        write_summary(count)
    else:
        sys.exit(__doc__)
