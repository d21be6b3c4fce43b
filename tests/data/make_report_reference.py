#!/usr/bin/python3
"""Writes the series and the reference statistics quenvar-report's tests compare with.

Run once with Debian's python3-numpy and python3-pymbar (3.x): /usr/bin/python3 make_report_reference.py
The series are written with four decimals and read back, so that both sides start from the same
doubles; the tests themselves need no Python.
"""
import os
import random

import numpy
import pymbar
from pymbar import timeseries

HERE = os.path.dirname(os.path.abspath(__file__))
K_T = 300 * 1.3806503e-23 * 6.0221367e23 / 1000  # kT at 300 K in kJ/mol, as the programs compute it


def series(kind, n=2000, seed=11):
    rng, x, values = random.Random(seed), 0.0, []
    for i in range(n):
        if kind == "correlated":
            x = 0.9 * x + rng.gauss(0, 2.0)
        elif kind == "uncorrelated":
            x = rng.gauss(0, 4.0)
        else:  # drifting: correlated noise on a slope of 25 kJ/mol over the series
            x = 0.5 * x + rng.gauss(0, 2.0)
        values.append(-200.0 + x + (25.0 * i / n if kind == "drifting" else 0.0))
    return values


rows = []
for kind in ("correlated", "uncorrelated", "drifting"):
    path = os.path.join(HERE, "series_%s.txt" % kind)
    with open(path, "w") as out:
        out.writelines("%.4f\n" % v for v in series(kind))
    with open(path) as back:
        e = numpy.array([float(line) for line in back])
    rows += [(kind, "mean", e.mean()), (kind, "sigma", e.std()), (kind, "c2_300K", e.var() / (2 * K_T)),
             (kind, "inefficiency", timeseries.statisticalInefficiency(e))]
example = os.path.join(HERE, "..", "..", "examples", "energy_MM.xvg")
with open(example) as lines:
    e = numpy.array([float(line.split()[7]) for line in lines if "#" not in line and "@" not in line and line.strip()])
rows += [("example", "mean", e.mean()), ("example", "sigma", e.std()), ("example", "inefficiency", timeseries.statisticalInefficiency(e))]
first = numpy.array([float(line) for line in open(os.path.join(HERE, "series_correlated.txt"))][:37])
rows += [("percentile_of_first_37_correlated", str(p), numpy.percentile(first, p)) for p in (0, 2.5, 25, 50, 97.5, 100)]

with open(os.path.join(HERE, "report_reference.txt"), "w") as out:
    out.write("# Made by tests/data/make_report_reference.py with numpy %s (mean, std, var, percentile with its\n"
              "# defaults) and pymbar %s, Debian's python3-pymbar 3.1.0 (timeseries.statisticalInefficiency with its\n# defaults).\n"
              % (numpy.__version__, pymbar.version.short_version))
    for name, key, value in rows:
        out.write("%s\t%s\t%r\n" % (name, key, float(value)))
