#!/usr/bin/python3
"""The real parts tilted past the punch limit, through the elastic approximation method.

    scripts/elastic_real_parts.py [PART...]      (default: all six real parts)

Each real part of ../shared/validation/real is turned about x or y (scripts/rotate_job.py) until
some of its elements face further down than the punch-direction check allows, so that the run
takes the elastic approximation method. The run goes to runs/elastic_real/<part>/ and is checked
with readers that are not trevo's: it must take the elastic path and end complete, every element
of <part>_Blank.nas (read by meshio) must keep a positive signed area in the blank, the blank's
area must be within 5 % of the part's area in space, the formed part (<part>.vtu by VTK,
<part>.dynain by its card layout) must hold every node and element with finite numbers, and the
outline (<part>_blank.dxf by ezdxf, <part>.lin) must read back non-empty. Prints one row per part
and exits non-zero when any part fails.
"""
import math
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import ezdxf
import meshio
import numpy as np
from vtkmodules.vtkIOXML import vtkXMLUnstructuredGridReader

ROOT = Path(__file__).resolve().parents[1]
REAL = Path(os.environ.get("TREVO_SHARED_DIR", ROOT.parent / "shared")) / "validation" / "real"
BINARY = Path(os.environ.get("TREVO_BINARY", ROOT / "build" / "trevo"))
ELASTIC = "Blank shape will be calculated with elastic approximate method"

# Part -> (axis, degrees): a turn, in 5-degree steps, that brings between 19 (bracket) and 357
# (hinge panel) elements to nz <= -0.45; the same turns as tests/e2e/elastic_method_e2e_test.cpp.
TILTS = {
    "recliner_bracket": ("x", 30),
    "cross_member_pocket": ("y", 35),
    "cross_member": ("x", 30),
    "door_hinge_panel": ("y", 65),
    "halo_outer": ("y", 50),
    "door_inner": ("x", 30),
}


def part_mesh(dat):
    """Nodes (in line order) and element corners (0-based, a triangle repeating its third) of a job."""
    index, nodes, elements = {}, [], []
    for line in Path(dat).read_text().splitlines():
        f = line.split()
        if line.startswith("SHETNODE"):
            index.setdefault(f[1], len(nodes))
            nodes.append([float(v) for v in f[2:5]])
        elif line.startswith("SHETQUAD"):
            elements.append([index[v] for v in f[2:6]])
    return np.array(nodes), np.array(elements)


def area_in_space(x, e):
    """Half the norm of the cross product of the diagonals, summed."""
    return 0.5 * np.linalg.norm(np.cross(x[e[:, 2]] - x[e[:, 0]], x[e[:, 3]] - x[e[:, 1]]), axis=1).sum()


def signed_areas(p, cells):
    """Shoelace area of each blank element in its own node order (X, Y only)."""
    out = []
    for c in cells:
        x, y = p[c, 0], p[c, 1]
        out.append(0.5 * (x * np.roll(y, -1, axis=1) - np.roll(x, -1, axis=1) * y).sum(axis=1))
    return np.concatenate(out)


def read_blank(nas):
    """The blank mesh through meshio, which wants the bulk-data section opened."""
    with tempfile.NamedTemporaryFile("w", suffix=".nas") as copy:
        copy.write("BEGIN BULK\n" + Path(nas).read_text())
        copy.flush()
        m = meshio.read(copy.name)
    return m.points, [c.data for c in m.cells]


def read_vtu(path):
    reader = vtkXMLUnstructuredGridReader()
    reader.SetFileName(str(path))
    reader.Update()
    grid = reader.GetOutput()
    return grid.GetNumberOfPoints(), grid.GetNumberOfCells()


def read_dynain(path):
    """Counts of the *NODE rows and *ELEMENT_SHELL_THICKNESS cards (two records each); all numbers finite."""
    counts, block = {}, None
    for line in Path(path).read_text().splitlines():
        if line.startswith("*"):
            block = line.strip()
            counts.setdefault(block, 0)
        elif block and not line.startswith("$"):
            counts[block] += 1
            if "nan" in line.lower() or "inf" in line.lower():
                raise ValueError(f"{path}: not a number in {line!r}")
    return counts.get("*NODE", 0), counts.get("*ELEMENT_SHELL_THICKNESS", 0) // 2


def check(name):
    axis, degrees = TILTS[name]
    folder = ROOT / "runs" / "elastic_real" / name
    folder.mkdir(parents=True, exist_ok=True)
    base = folder / name
    subprocess.run([sys.executable, ROOT / "scripts" / "rotate_job.py", REAL / name / f"{name}.dat",
                    f"{base}.dat", str(degrees), "--axis", axis], check=True)
    x, e = part_mesh(f"{base}.dat")
    start = time.time()
    with open(folder / "console.txt", "w") as console:  # written as the run goes
        done = subprocess.run([BINARY, base, "60000", "1"], env=dict(os.environ, TREVO_PICTURE="0"),
                              stdout=console, stderr=subprocess.STDOUT, timeout=7200)
    seconds = time.time() - start
    faults = []
    if ELASTIC not in (folder / "console.txt").read_text():
        faults.append("not the elastic path")
    summary = Path(f"{base}.summary.json").read_text() if Path(f"{base}.summary.json").exists() else ""
    if done.returncode != 0 or '"status": "complete"' not in summary:
        faults.append(f"run not complete (exit {done.returncode})")
        return name, axis, degrees, len(e), seconds, math.nan, math.nan, faults
    points, cells = read_blank(f"{base}_Blank.nas")
    areas = signed_areas(points, cells)
    ratio = areas.sum() / area_in_space(x, e)
    # The run splits quadrilaterals too badly shaped to keep into two triangles: one element more each.
    if len(points) != len(x) or not len(e) <= len(areas) <= 2 * len(e):
        faults.append(f"blank mesh holds {len(points)} nodes, {len(areas)} elements")
    if areas.min() <= 0:
        faults.append(f"{(areas <= 0).sum()} elements inverted or degenerate")
    if abs(ratio - 1) > 0.05:
        faults.append("blank area off")
    if read_vtu(f"{base}.vtu") != (len(x), len(areas)):
        faults.append("vtu counts")
    if read_dynain(f"{base}.dynain") != (len(x), len(areas)):
        faults.append("dynain counts")
    dxf = ezdxf.readfile(f"{base}_blank.dxf").modelspace()
    lin = Path(f"{base}.lin").read_text().split()
    if len(dxf) == 0 or not lin:
        faults.append("no outline")
    return name, axis, degrees, len(e), seconds, ratio, areas.min(), faults


def main():
    names = sys.argv[1:] or list(TILTS)
    print("| part | tilt | elements | time (s) | blank area / part area | min signed area (mm^2) | verdict |")
    print("|---|---|---|---|---|---|---|")
    failed = 0
    for name in names:
        part, axis, degrees, count, seconds, ratio, least, faults = check(name)
        failed += bool(faults)
        print(f"| {part} | {degrees} deg about {axis} | {count} | {seconds:.1f} | {ratio:.4f} | {least:.3g} | "
              f"{'; '.join(faults) or 'sound'} |", flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
