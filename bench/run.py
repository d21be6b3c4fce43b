#!/usr/bin/env python3
"""Times quenvar against its peers, quenvar-report against quenvar, and barwright against the
number of complexes.

Usage: run.py BUILD_DIR [RUNS]  (make bench). Every row is the median of RUNS timed runs
(default 7) after one warm-up run; the ratios are taken within this one run, since the
machine's speed drifts between runs. Prints a Markdown table for bench/RESULTS.md.
"""
import datetime
import os
import platform
import re
import resource
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
FRAMES = 1_000_000
CALLGRIND_FRAMES = 100_000
REPORT_FRAMES = 100_000
REPORT_KINDS = [("correlated", "energy"), ("uncorrelated", "uncorrelated"), ("drifting", "drifting")]
# The report's time against quenvar's on the 1,000,000-frame files: a correlated file's resamples
# cost n/L block sums, and a drifting file's no more than before them (9.9 times).
REPORT_TARGETS = {"correlated": 10, "drifting": 9.9}
COMPLEXES = [1_000, 10_000]
TEMPERATURE = "298.15"


def generated(path, kind, count):
    """The generator's output, made once and kept in the build directory."""
    if not os.path.exists(path):
        print("Generating %s (%s %d) ..." % (path, kind, count), flush=True)
        with open(path + ".part", "w") as out:
            subprocess.run([sys.executable, os.path.join(HERE, "generate.py"), kind, str(count)], stdout=out, check=True)
        os.rename(path + ".part", path)
    return path


def run(command, stdin_text=None, cwd=None, env=None):
    """Wall, user and system seconds of one run, and what it printed."""
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    started = time.perf_counter()
    done = subprocess.run(command, input=stdin_text, capture_output=True, text=True, cwd=cwd, env=env, check=True)
    wall = time.perf_counter() - started
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (wall, after.ru_utime - usage.ru_utime, after.ru_stime - usage.ru_stime), done.stdout


def timed(command, runs, stdin_text=None, cwd=None, env=None, before=None):
    """Medians of wall, user and system seconds over `runs` runs after a warm-up, and the
    last run's output."""
    samples, output = [], ""
    for attempt in range(runs + 1):
        if before:
            before()
        seconds, output = run(command, stdin_text, cwd, env)
        if attempt > 0:
            samples.append(seconds)
    return tuple(statistics.median(column) for column in zip(*samples)), output


def peak_rss_mb(command, stdin_text=None, cwd=None, before=None):
    """Peak resident memory in MB as GNU time -v reports it, or None without GNU time."""
    if not os.path.exists("/usr/bin/time"):
        return None
    if before:
        before()
    done = subprocess.run(["/usr/bin/time", "-v"] + command, input=stdin_text, capture_output=True, text=True,
                          cwd=cwd, check=True)
    return int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", done.stderr).group(1)) / 1024


def instructions_per_line(quenvar, energy, work, frames):
    """Instructions per data line of quenvar on the first `frames` frames, counted by callgrind
    (the same count on every run of the same binary), or None without valgrind."""
    if not shutil.which("valgrind"):
        return None
    head = os.path.join(work, "energy_%d.xvg" % frames)
    if not os.path.exists(head):
        with open(energy) as whole, open(head, "w") as out:
            data_lines = 0
            for line in whole:
                out.write(line)
                data_lines += not line.startswith(("#", "@"))
                if data_lines == frames:
                    break
    done = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null"] + quenvar,
                          input="%s\n%s\n\n" % (head, TEMPERATURE), capture_output=True, text=True, check=True)
    return int(re.search(r"Collected : (\d+)", done.stderr).group(1)) / frames


def numpy_python():
    """A Python that has numpy (Debian's python3-numpy may sit beside another python3 on PATH)."""
    for candidate in [sys.executable, "/usr/bin/python3", shutil.which("python3")]:
        if candidate and subprocess.run([candidate, "-c", "import numpy"], capture_output=True).returncode == 0:
            return candidate
    return None


def term_from(output):
    match = re.search(r"Quenvar:\s*(\S+)", output) or re.search(r"^(\S+)\s*$", output)
    return float(match.group(1))


def machine():
    model = platform.processor() or platform.machine()
    if os.path.exists("/proc/cpuinfo"):
        with open("/proc/cpuinfo") as info:
            found = re.search(r"model name\s*:\s*(.+)", info.read())
            model = found.group(1) if found else model
    return "%s, %d cores, Linux %s" % (model, os.cpu_count(), platform.release())


def compiler(build):
    with open(os.path.join(build, "CMakeCache.txt")) as cache:
        path = re.search(r"CMAKE_CXX_COMPILER:\w+=(.+)", cache.read()).group(1)
    return subprocess.run([path, "--version"], capture_output=True, text=True).stdout.splitlines()[0]


def main():
    build = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    binaries = os.path.join(build, "bin")
    work = os.path.join(build, "bench")
    os.makedirs(work, exist_ok=True)
    energy = generated(os.path.join(work, "energy_%d.xvg" % FRAMES), "energy", FRAMES)
    summaries = {}
    for complexes in COMPLEXES:
        directory = os.path.join(work, "summary_%d" % complexes)
        os.makedirs(directory, exist_ok=True)
        generated(os.path.join(directory, "summary_energy.dat"), "summary", complexes)
        summaries[complexes] = directory
    size_mb = os.path.getsize(energy) / 1e6

    print("# Benchmark, %s" % datetime.date.today().isoformat())
    print("\nMachine: %s. Compiler: %s. Median of %d runs after a warm-up.\n" % (machine(), compiler(build), runs))
    print("## quenvar on %d frames (%.0f MB)\n" % (FRAMES, size_mb))
    print("| reader | median (ms) | time / quenvar | -TdS (kJ/mol) |")
    print("|---|---:|---:|---:|")
    answers = "%s\n%s\n\n" % (energy, TEMPERATURE)
    quenvar = [os.path.join(binaries, "quenvar")]
    rows = [("quenvar", quenvar, answers, None)]
    rows.append(("baseline: getline + istringstream", [os.path.join(binaries, "baseline_reader"), energy, TEMPERATURE],
                 None, None))
    python = numpy_python()
    peer_env = {k: v for k, v in os.environ.items() if k not in ("OPENBLAS_CORETYPE", "OPENBLAS_L2_SIZE")}
    if python:
        rows.append(("numpy.loadtxt script", [python, os.path.join(HERE, "numpy_peer.py"), energy, TEMPERATURE],
                     None, peer_env))
    rows.append(("wc -l (touches every byte)", ["wc", "-l", energy], None, None))

    medians = {}
    for name, command, stdin_text, env in rows:
        (medians[name], _, _), output = timed(command, runs, stdin_text, env=env)
        value = "%.4f" % term_from(output) if not name.startswith("wc") else ""
        print("| %s | %.1f | %.2f | %s |" % (name, medians[name] * 1e3, medians[name] / medians["quenvar"], value),
              flush=True)
    if not python:
        print("| numpy.loadtxt script | skipped: no python3 with numpy (Debian package python3-numpy) | | |")

    rss = peak_rss_mb(quenvar, answers)
    per_line = instructions_per_line(quenvar, energy, work, CALLGRIND_FRAMES)
    q = medians["quenvar"]
    print("\nquenvar peak resident memory: %s" % ("%.1f MB" % rss if rss is not None else "not measured (no GNU time)"))
    print("\nquenvar instructions per data line (callgrind, first %d frames): %s" % (
        CALLGRIND_FRAMES, "%.0f" % per_line if per_line is not None else "not measured (no valgrind)"))
    print("\nTargets:")
    checks = [("at least 20x faster than the baseline", medians["baseline: getline + istringstream"] / q >= 20,
               "%.1fx" % (medians["baseline: getline + istringstream"] / q))]
    if python:
        checks.append(("at least 8x faster than numpy", medians["numpy.loadtxt script"] / q >= 8,
                       "%.1fx" % (medians["numpy.loadtxt script"] / q)))
    wc = medians["wc -l (touches every byte)"]
    checks.append(("within 2.5x of wc -l", q / wc <= 2.5, "%.2fx" % (q / wc)))
    if rss is not None:
        checks.append(("peak memory at most 32 MB", rss <= 32, "%.1f MB" % rss))
    if per_line is not None:
        checks.append(("at most 500 instructions per data line", per_line <= 500, "%.0f" % per_line))
    for what, ok, measured in checks:
        print("- %s: %s (%s)" % (what, measured, "met" if ok else "MISSED"))

    print("\n## quenvar-report against quenvar\n")
    print("The whole report with the default 1,000 bootstrap resamples, against quenvar on the same file.\n")
    print("| file | frames | quenvar (ms) | report (ms) | time / quenvar | quenvar peak (MB) | report peak (MB) | "
          "memory / quenvar | g | block |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    report = [os.path.join(binaries, "quenvar-report"), "-T", TEMPERATURE, "--tsv"]
    files = [(kind, REPORT_FRAMES, generated(os.path.join(work, "%s_%d.xvg" % (kind, REPORT_FRAMES)), generator, REPORT_FRAMES))
             for kind, generator in REPORT_KINDS]
    files += [(kind, FRAMES, generated(os.path.join(work, "%s_%d.xvg" % (kind, FRAMES)), generator, FRAMES)) if kind != "correlated"
              else (kind, FRAMES, energy) for kind, generator in REPORT_KINDS]
    for kind, frames, path in files:
        answers = "%s\n%s\n\n" % (path, TEMPERATURE)
        (q_time, _, _), _ = timed(quenvar, runs, answers)
        (r_time, _, _), output = timed(report + [path], runs)
        q_rss, r_rss = peak_rss_mb(quenvar, answers), peak_rss_mb(report + [path])
        row = dict(zip(*[line.split("\t") for line in output.splitlines()]))
        print("| %s | %d | %.1f | %.1f | %.1f | %s | %s | %s | %.4g | %s |" % (
            kind, frames, q_time * 1e3, r_time * 1e3, r_time / q_time, "%.1f" % q_rss if q_rss else "n/a",
            "%.1f" % r_rss if r_rss else "n/a", "%.2f" % (r_rss / q_rss) if q_rss and r_rss else "n/a",
            float(row["inefficiency"]), row["block"]), flush=True)
        if frames == FRAMES and kind in REPORT_TARGETS:
            checks.append(("report on the %s %d-frame file within %gx quenvar's time" % (kind, frames, REPORT_TARGETS[kind]),
                           r_time / q_time <= REPORT_TARGETS[kind], "%.1fx" % (r_time / q_time)))
        if frames == REPORT_FRAMES:
            checks.append(("report on the %s %d-frame file within 50x quenvar's time" % (kind, frames),
                           r_time / q_time <= 50, "%.1fx" % (r_time / q_time)))
            if q_rss and r_rss:
                checks.append(("report on the %s %d-frame file within 4x quenvar's peak memory" % (kind, frames),
                               r_rss / q_rss <= 4, "%.2fx" % (r_rss / q_rss)))
    print("\nTargets of the report:")
    for what, ok, measured in checks:
        if what.startswith("report"):
            print("- %s: %s (%s)" % (what, measured, "met" if ok else "MISSED"))

    print("\n## barwright against the number of complexes\n")
    print("The charts go to the build directory on disk, and to a directory in memory (tmpfs) where")
    print("there is one: the kernel's cost of creating files on disk varies with what ran before.\n")
    print("| charts written to | complexes | median (ms) | per complex (us) | user CPU per complex (us) | "
          "system CPU per complex (us) | peak memory (MB) |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    barwright = [os.path.join(binaries, "barwright")]
    places = [("disk", None)]
    if os.path.isdir("/dev/shm"):
        places.append(("memory", "/dev/shm/barwright-bench-%d" % os.getpid()))
    for place, scratch in places:
        for complexes in COMPLEXES:
            directory = summaries[complexes]
            if scratch:  # a copy of the summary, in memory
                directory = os.path.join(scratch, str(complexes))
                os.makedirs(directory)
                shutil.copy(os.path.join(summaries[complexes], "summary_energy.dat"), directory)

            def clear_charts():
                for name in os.listdir(directory):
                    if name.startswith("sum_"):
                        os.remove(os.path.join(directory, name))

            (median, user, system), output = timed(barwright, runs, "summary_energy.dat\n", cwd=directory,
                                                  before=clear_charts)
            if output.count("output file sum_") != complexes or not output.endswith("Finished!\n\n"):
                sys.exit("barwright did not write %d charts" % complexes)
            rss = peak_rss_mb(barwright, "summary_energy.dat\n", cwd=directory, before=clear_charts)
            print("| %s | %d | %.1f | %.1f | %.1f | %.1f | %s |" % (
                place, complexes, median * 1e3, median / complexes * 1e6, user / complexes * 1e6,
                system / complexes * 1e6, "%.1f" % rss if rss is not None else "n/a"), flush=True)
        if scratch:
            shutil.rmtree(scratch)
    print("\nReproduce: `make bench` (python3 %s %s %d)" % (os.path.relpath(__file__), os.path.relpath(build), runs))
    return 0 if all(ok for _, ok, _ in checks) else 1


if __name__ == "__main__":
    sys.exit(main())
