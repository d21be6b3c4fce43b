#!/usr/bin/env python3
"""The script a user would write instead: numpy reads the eighth column, then the same
formula, -TdS = kT ln < exp(beta (E - <E>)) >, shifted by the largest deviation.
Usage: numpy_peer.py FILE TEMPERATURE"""
import sys

import numpy

K_BOLTZMANN = 1.3806503e-23  # J/K, the constants quenvar uses
AVOGADRO = 6.0221367e23  # 1/mol

energies = numpy.loadtxt(sys.argv[1], comments=["#", "@"], usecols=7)
kt = K_BOLTZMANN * AVOGADRO * float(sys.argv[2]) / 1000.0  # kJ/mol
scaled = (energies - energies.mean()) / kt
top = scaled.max()
print("%g" % (kt * (top + numpy.log(numpy.exp(scaled - top).mean()))))
