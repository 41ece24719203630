#!/usr/bin/python3
"""How far a converged blank is from equilibrium: each job is run as given, then again with the
iteration continued (a higher limit, a displacement tolerance no run reaches, so only the force
tolerance |MAXP| < t1 or the limit ends it), and the two blanks are compared node by node.

    scripts/equilibrium_study.py [--limit N] [--binary PATH] [--work DIR] JOB.dat...

One line per job: iterations and final |MAXP| of both runs, and the median and largest node
distance between the two blanks, in mm and in per cent of the first blank's diagonal; the last
column gives the largest distance once the continued blank's best-fit turn and shift are taken
out, since the stabilised iteration restrains the blank's rigid motion only softly and a long run
may turn the whole blank a little without changing its shape.
"""
import argparse
import math
import pathlib
import re
import shutil
import statistics
import subprocess

ROOT = pathlib.Path(__file__).resolve().parents[1]


def blank_nodes(nas):
    """{node id: (x, y)} of a blank mesh written in large-field GRID* records."""
    nodes = {}
    for line in nas.read_text().splitlines():
        if line.startswith("GRID*"):
            nodes[int(line[8:24])] = (float(line[40:56]), float(line[56:72]))
    return nodes


def continued(text, limit):
    """The job with CORTROL replaced: the given limit, ADP tolerance 1e-30, the other values kept."""
    values = ["300", "0.0001", "0.1", "1.0", "2.0"]
    for line in text.splitlines():
        if line.startswith("CORTROL"):
            values[: len(line.split()) - 1] = line.split()[1:]
    values[0], values[1] = str(limit), "1.0E-30"
    kept = [line for line in text.splitlines() if not line.startswith("CORTROL")]
    at = next(i for i, line in enumerate(kept) if line.startswith("FORMTYPE")) + 1
    return "\n".join(kept[:at] + ["CORTROL  " + " ".join(values)] + kept[at:]) + "\n"


def run(binary, folder, name, text):
    folder.mkdir(parents=True, exist_ok=True)
    (folder / f"{name}.dat").write_text(text)
    console = subprocess.run([binary, name, "40000", "1"], cwd=folder, capture_output=True, text=True).stdout
    last = re.findall(r"NN0=\s*(\d+) ADP=\s*(\S+) RELAX=\s*(\S+) MAXP\(\s*\d+\)=\s*(\S+)", console)
    iterations, maxp = (int(last[-1][0]), abs(float(last[-1][3]))) if last else (0, math.nan)
    return iterations, maxp, blank_nodes(folder / f"{name}_Blank.nas")


def without_rigid_drift(a, b):
    """The nodes of blank b moved back by the turn and shift that best fit them onto blank a."""
    keys = [i for i in a if i in b]
    ca = [sum(a[i][k] for i in keys) / len(keys) for k in (0, 1)]
    cb = [sum(b[i][k] for i in keys) / len(keys) for k in (0, 1)]
    dot = cross = 0.0
    for i in keys:
        ax, ay, bx, by = a[i][0] - ca[0], a[i][1] - ca[1], b[i][0] - cb[0], b[i][1] - cb[1]
        dot += ax * bx + ay * by
        cross += ax * by - ay * bx
    turn = math.atan2(cross, dot)
    c, s = math.cos(turn), math.sin(turn)
    back = {}
    for i in keys:
        bx, by = b[i][0] - cb[0], b[i][1] - cb[1]
        back[i] = (ca[0] + c * bx + s * by, ca[1] - s * bx + c * by)
    return back


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("jobs", nargs="+", type=pathlib.Path)
    parser.add_argument("--limit", type=int, default=1000)
    parser.add_argument("--binary", default=str(ROOT / "build" / "trevo"))
    parser.add_argument("--work", type=pathlib.Path, default=pathlib.Path("/tmp/trevo_equilibrium"))
    options = parser.parse_args()
    print("job | iterations | final MAXP (N) | continued iterations | continued MAXP (N) | median move (mm) | "
          "largest move (mm) | largest / diagonal (%) | without rigid drift (%)")
    for job in options.jobs:
        name, text = job.stem, job.read_text()
        shutil.rmtree(options.work / name, ignore_errors=True)
        n1, p1, a = run(options.binary, options.work / name / "given", name, text)
        n2, p2, b = run(options.binary, options.work / name / "continued", name, continued(text, options.limit))
        xs, ys = [p[0] for p in a.values()], [p[1] for p in a.values()]
        diagonal = math.hypot(max(xs) - min(xs), max(ys) - min(ys))
        moves = [math.dist(a[i], b[i]) for i in a if i in b]
        fitted = without_rigid_drift(a, b)
        shape_moves = [math.dist(a[i], fitted[i]) for i in fitted]
        print(f"{name} | {n1} | {p1:.1f} | {n2} | {p2:.1f} | {statistics.median(moves):.3f} | {max(moves):.3f} | "
              f"{100 * max(moves) / diagonal:.3f} | {100 * max(shape_moves) / diagonal:.3f}", flush=True)


if __name__ == "__main__":
    main()
