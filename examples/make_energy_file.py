#!/usr/bin/env python3
"""Writes a realistic vacuum molecular-mechanics energy file (xvg) for the examples.

Deterministic (fixed seed): the interaction energy follows an autocorrelated Gaussian process
around -245 kJ/mol, as along a stable protein-ligand trajectory; van der Waals and electrostatic
parts sum to it. Columns: time, bond, angle, dihedral, improper, vdW, elec, interaction, total.
"""
import math
import random
import sys


def main(frames=3000, seed=20261207, out=sys.stdout, decimals=4, correlation=0.9, drift=0.0):
    """Energies get `decimals` digits after the point, in columns that many digits wider than 8.
    `correlation` is the fluctuations' lag-1 autocorrelation (their spread stays the same), and
    `drift` moves the interaction energy by that much over the whole trajectory."""
    rng = random.Random(seed)
    out.write("# Vacuum molecular-mechanics energies of the complex, one line per frame\n")
    out.write("# Energies in kJ/mol; time in ps\n")
    out.write('@    title "Vacuum MM energy"\n')
    out.write('@    xaxis  label "Time (ps)"\n')
    out.write('@    yaxis  label "Energy (kJ/mol)"\n')
    out.write("@TYPE xy\n")
    for i, legend in enumerate(["Bond", "Angle", "Dihedral", "Improper", "vdW", "Elec", "Interaction", "Total"]):
        out.write('@ s%d legend "%s"\n' % (i, legend))
    line = "%10.3f" + (" %%%d.%df" % (8 + decimals, decimals)) * 8 + "\n"
    vdw_dev = elec_dev = 0.0
    scale = math.sqrt((1 - correlation * correlation) / (1 - 0.9 * 0.9))
    for frame in range(frames):
        # AR(1) fluctuations with a correlation time of about ten frames
        vdw_dev = correlation * vdw_dev + rng.gauss(0.0, 2.2 * scale)
        elec_dev = correlation * elec_dev + rng.gauss(0.0, 3.0 * scale)
        vdw = -182.0 + vdw_dev + drift * frame / frames
        elec = -63.0 + elec_dev
        bond = 1810.0 + rng.gauss(0.0, 25.0)
        angle = 4630.0 + rng.gauss(0.0, 40.0)
        dihedral = 5120.0 + rng.gauss(0.0, 30.0)
        improper = 312.0 + rng.gauss(0.0, 9.0)
        interaction = vdw + elec
        total = bond + angle + dihedral + improper + interaction
        out.write(line % (frame * 10.0, bond, angle, dihedral, improper, vdw, elec, interaction, total))


if __name__ == "__main__":
    main(int(sys.argv[1]) if len(sys.argv) > 1 else 3000)
