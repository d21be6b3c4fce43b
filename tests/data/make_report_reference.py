#!/usr/bin/python3
"""Writes the series and the reference statistics quenvar-report's tests compare with, and the
reference dH and dG of suite_delta.csv (the delta block of an MM/PB(GB)SA suite's per-frame CSV).

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

# dH and dG on the suites' CSV (kcal/mol): their values, and their SDs by a joint moving-block
# bootstrap written here independently of the report (numpy's own generator), each resample's dG
# from its own <dH> and -TdS, beside the SDs that adding dH's and -TdS's in quadrature would give.
K_T_KCAL = K_T / 4.184
lines = open(os.path.join(HERE, "suite_delta.csv")).read().splitlines()
header = lines[2].split(",")
table = numpy.array([[float(x) for x in line.split(",")] for line in lines[3:] if line.strip()])
energy = table[:, header.index("VDWAALS")] + table[:, header.index("EEL")]
dh = table[:, header.index("TOTAL")]


def ie(e):
    return K_T_KCAL * numpy.log(numpy.mean(numpy.exp((e - e.mean()) / K_T_KCAL)))


n = len(energy)
g = max(timeseries.statisticalInefficiency(energy), timeseries.statisticalInefficiency(dh))
block = min(1 + int(numpy.ceil(3 * (g - 1))), n // 10)
rng = numpy.random.default_rng(2026)
resampled = []
for _ in range(20000):
    starts = rng.integers(0, n - block + 1, size=(n + block - 1) // block)
    index = numpy.concatenate([numpy.arange(s, s + block) for s in starts])[:n]
    e, h = energy[index], dh[index]
    resampled.append((h.mean(), ie(e), e.var() / (2 * K_T_KCAL)))
r = numpy.array(resampled)
rows += [("suite", "dh", dh.mean()), ("suite", "dg_ie", dh.mean() + ie(energy)),
         ("suite", "dg_c2", dh.mean() + energy.var() / (2 * K_T_KCAL)), ("suite", "block", block),
         ("suite", "dh_sd", r[:, 0].std()), ("suite", "dg_ie_sd", (r[:, 0] + r[:, 1]).std()),
         ("suite", "dg_c2_sd", (r[:, 0] + r[:, 2]).std()),
         ("suite", "dg_ie_sd_in_quadrature", numpy.hypot(r[:, 0].std(), r[:, 1].std())),
         ("suite", "dg_c2_sd_in_quadrature", numpy.hypot(r[:, 0].std(), r[:, 2].std()))]

with open(os.path.join(HERE, "report_reference.txt"), "w") as out:
    out.write("# Made by tests/data/make_report_reference.py with numpy %s (mean, std, var, percentile with its\n"
              "# defaults) and pymbar %s, Debian's python3-pymbar 3.1.0 (timeseries.statisticalInefficiency with its\n# defaults).\n"
              % (numpy.__version__, pymbar.version.short_version))
    for name, key, value in rows:
        out.write("%s\t%s\t%r\n" % (name, key, float(value)))
