"""Viewer and CAD files read back independently: .vtu by VTK against dynain and blank mesh, _blank.dxf by ezdxf."""
import json
import math
import os
import shutil
import subprocess
from pathlib import Path

import ezdxf
import numpy as np
import pytest
from vtkmodules.util.numpy_support import vtk_to_numpy
from vtkmodules.vtkIOXML import vtkXMLUnstructuredGridReader

ROOT = Path(__file__).resolve().parents[2]
BINARY = os.environ.get("TREVO_BINARY", str(ROOT / "build" / "trevo"))
SHARED = Path(os.environ.get("TREVO_SHARED_DIR", ROOT.parent / "shared"))
GENERATED = SHARED / "validation" / "generated"

# A flat 200 x 100 mm plate of 4 mm elements, two rectangular holes, some quadrilaterals split: blank = part.
HOLES = [((10, 15), (10, 15)), ((30, 38), (5, 9))]  # element ranges [i0, i1) x [j0, j1)
HOLED_PLATE_AREA = 200.0 * 100.0 - sum(16.0 * (i1 - i0) * (j1 - j0) for (i0, i1), (j0, j1) in HOLES)


def holed_plate_job():
    corners = []
    for j, i in ((j, i) for j in range(25) for i in range(50)
                 if not any(i0 <= i < i1 and j0 <= j < j1 for (i0, i1), (j0, j1) in HOLES)):
        a, b, c, d = (i, j), (i + 1, j), (i + 1, j + 1), (i, j + 1)
        corners += [(a, b, c, c), (a, c, d, d)] if (i + 2 * j) % 7 == 0 else [(a, b, c, d)]
    ids = {}
    for node in (node for element in corners for node in element):
        ids.setdefault(node, len(ids) + 1)
    lines = ["$$KVO/TREVO  holed plate", "FORMTYPE 0", "MATERIAL  0.001 600.0 0.22 0 1.0 1.0 1.0"]
    lines += [f"SHETNODE {n} {4.0 * i - 100.0:.8f} {4.0 * j - 50.0:.8f} 0.00000000" for (i, j), n in ids.items()]
    lines += [f"SHETQUAD {e + 1} {' '.join(str(ids[p]) for p in c)} 1.0" for e, c in enumerate(corners)]
    return "\n".join(lines) + "\n"


JOBS = {  # name -> job text; the tilted cup with the automatic tipping search
    "cone_tris": lambda: (GENERATED / "cone_tris.dat").read_text(),
    "cup_tilted": lambda: (GENERATED / "cup_tilted.dat").read_text() + "AUTONOML 1\n",
    "holed_plate": holed_plate_job,
}


@pytest.fixture(scope="module")
def runs(tmp_path_factory):
    """Each job run once (no picture): name -> base path."""
    folder = tmp_path_factory.mktemp("viewer_files")
    for name, job in JOBS.items():
        Path(folder / f"{name}.dat").write_text(job())
        shutil.copy(folder / f"{name}.dat", folder / f"{name}.job")  # a complete run deletes its input
        done = subprocess.run([BINARY, str(folder / name)], env=dict(os.environ, TREVO_PICTURE="0"),
                              capture_output=True, text=True, timeout=600)
        assert done.returncode == 0, (name, done.stdout[-2000:], done.stderr[-2000:])
    return {name: str(folder / name) for name in JOBS}


def fields(record, widths):
    ends = np.cumsum(widths)
    return [float(record[e - w:e]) for w, e in zip(widths, ends)]


def read_dynain(path):
    """Nodes, elements (0-based corners, 3 or 4), thickness, stress (6) and plastic strain, strain (6)."""
    blocks = {}
    for line in Path(path).read_text().splitlines():
        if line.startswith("*"):
            block = blocks.setdefault(line.strip(), [])
        else:
            block.append(line)
    nodes = np.array([fields(r, (8, 16, 16, 16))[1:] for r in blocks["*NODE"]])
    shells = blocks["*ELEMENT_SHELL_THICKNESS"]
    elements, thickness = [], []
    for head, h in zip(shells[0::2], shells[1::2]):
        c = [int(v) - 1 for v in fields(head, (8,) * 6)[2:]]
        elements.append(c[:3] if c[3] == c[2] else c)
        thickness.append(fields(h, (16,) * 4)[0])
    stress = np.array([fields(r, (10,) * 8)[1:] for r in blocks["*INITIAL_STRESS_SHELL"][1::2]])
    strain = np.array([fields(r, (10,) * 6) for r in blocks["*INITIAL_STRAIN_SHELL"][1::3]])
    return {"nodes": nodes, "elements": elements, "thickness": np.array(thickness), "stress": stress[:, :6],
            "epsbar": stress[:, 6], "strain": strain}


def read_nas_grids(path):
    lines = Path(path).read_text().splitlines()
    grids = [(fields(a[8:], (16, 16, 16, 16))[2:], float(b[8:24])) for a, b in zip(lines, lines[1:])
             if a.startswith("GRID*")]
    return np.array([[x, y, z] for (x, y), z in grids])


def read_vtu(path):
    reader = vtkXMLUnstructuredGridReader()
    reader.SetFileName(str(path))
    reader.Update()
    grid = reader.GetOutput()
    cells = [[grid.GetCell(c).GetPointId(k) for k in range(grid.GetCell(c).GetNumberOfPoints())]
             for c in range(grid.GetNumberOfCells())]
    cell_data = grid.GetCellData()
    data = {cell_data.GetArrayName(i): vtk_to_numpy(cell_data.GetArray(i)) for i in range(cell_data.GetNumberOfArrays())}
    return {"points": vtk_to_numpy(grid.GetPoints().GetData()), "cells": cells, "cell": data,
            "types": [grid.GetCellType(c) for c in range(grid.GetNumberOfCells())],
            "blank": vtk_to_numpy(grid.GetPointData().GetArray("blank")),
            "tensors": cell_data.GetTensors().GetName(), "scalars": cell_data.GetScalars().GetName()}


def job_values(text, keyword):
    return [[float(v) for v in line[9:].split()] for line in text.splitlines() if line.startswith(keyword)]


def invariants(c):
    """I1 and I2 of tensors (XX, YY, ZZ, XY, YZ, XZ): for a plane state the sum and product of the principal values."""
    xx, yy, zz, xy, yz, xz = np.asarray(c).T
    return xx + yy + zz, xx * yy + yy * zz + zz * xx - xy ** 2 - yz ** 2 - xz ** 2


def least_rectangle(points):
    """Smallest bounding box over 1-degree turns 0..89 counter-clockwise: area, angle, sides along turned x and y."""
    best = None
    for k in range(90):
        t = math.radians(k)
        u = math.cos(t) * points[:, 0] - math.sin(t) * points[:, 1]
        v = math.sin(t) * points[:, 0] + math.cos(t) * points[:, 1]
        sides = (u.max() - u.min(), v.max() - v.min())
        if best is None or sides[0] * sides[1] < best[0]:
            best = (sides[0] * sides[1], k, sides)
    return best


@pytest.mark.parametrize("name", sorted(JOBS))
def test_vtu_matches_dynain_and_blank_mesh(runs, name):
    base = runs[name]
    vtu, dyn = read_vtu(base + ".vtu"), read_dynain(base + ".dynain")
    job = Path(base + ".job").read_text()
    assert (vtu["scalars"], vtu["tensors"]) == ("thinning", "stress")
    # Geometry: the points in the user's frame as the dynain file has them (E16.9: nine digits), the same cells.
    assert np.all(np.abs(vtu["points"] - dyn["nodes"]) <= 1e-8 * np.abs(dyn["nodes"]) + 1e-12)
    assert (vtu["cells"], vtu["types"]) == (dyn["elements"], [5 if len(c) == 3 else 9 for c in dyn["elements"]])
    cell = vtu["cell"]
    # Thickness (E16.8: eight digits) and thinning against the job's own element thickness.
    h0 = np.array([v[-1] for v in job_values(job, "SHETQUAD")])
    assert np.abs(cell["thickness"] - dyn["thickness"]).max() <= 1e-7
    assert np.abs(cell["thinning"] - (1 - dyn["thickness"] / h0)).max() <= 1e-7
    # Principal strains against the dynain strains (1PE10.3) through the invariants, frame-free and well-conditioned.
    i1, i2 = invariants(dyn["strain"])
    scale = np.abs(dyn["strain"]).max(axis=1) + 1e-7
    assert np.all(np.abs(cell["major_strain"] + cell["minor_strain"] - i1) <= 2e-3 * scale)
    assert np.all(np.abs(cell["major_strain"] * cell["minor_strain"] - i2) <= 4e-3 * scale ** 2)
    assert np.all(cell["major_strain"] >= cell["minor_strain"])
    # Stress: the dynain tensors' invariants; in its element's plane in the VTU's frame (S n = 0).
    stress = cell["stress"]
    scale = np.abs(dyn["stress"]).max(axis=1) + 1e-6
    for k, (mine, theirs) in enumerate(zip(invariants(stress), invariants(dyn["stress"]))):
        assert np.all(np.abs(mine - theirs) <= 4e-3 * scale ** (k + 1))
    q = np.array([vtu["points"][c + [c[-1]] if len(c) == 3 else c] for c in vtu["cells"]])
    normal = np.cross(q[:, 2] - q[:, 0], q[:, 3] - q[:, 1])
    traction = np.einsum("eij,ej->ei", stress[:, [0, 3, 5, 3, 1, 4, 5, 4, 2]].reshape(-1, 3, 3), normal)
    bound = (1e-9 * np.abs(stress).max(axis=1) + 1e-12) * np.linalg.norm(normal, axis=1)
    assert np.all(np.linalg.norm(traction, axis=1) <= bound), (name, np.argmax(np.linalg.norm(traction, axis=1) - bound))
    if "AUTONOML" not in job:  # untipped: the working and the user's frame have the same axes
        assert np.all(np.abs(stress - dyn["stress"]) <= 1e-3 * scale[:, None])
    # Equivalent stress: the hardening law K (eps0 + epsbar)^n of the job's MATERIAL line.
    eps0, k, n = job_values(job, "MATERIAL")[0][:3]
    assert np.allclose(cell["equivalent_stress"], k * (eps0 + dyn["epsbar"]) ** n, rtol=5e-4)
    # The blank vector: (X, Y, 0), a rigid copy of the blank mesh of the same run (edge lengths).
    blank, grids = vtu["blank"], read_nas_grids(base + "_Blank.nas")
    assert np.all(blank[:, 2] == 0)
    edges = np.array([(c[k], c[(k + 1) % len(c)]) for c in vtu["cells"] for k in range(len(c))])
    mine = np.linalg.norm(blank[edges[:, 0]] - blank[edges[:, 1]], axis=1)
    theirs = np.linalg.norm(grids[edges[:, 0]] - grids[edges[:, 1]], axis=1)
    assert np.abs(mine - theirs).max() <= 1e-7 * np.abs(grids).max()


@pytest.mark.parametrize("name", sorted(JOBS))
def test_dxf_outline_gives_the_blank_summary(runs, name):
    base = runs[name]
    doc = ezdxf.readfile(base + "_blank.dxf")
    auditor = doc.audit()
    assert not auditor.has_errors and not auditor.has_fixes, [str(e) for e in auditor.errors + auditor.fixes]
    assert (doc.dxfversion, doc.header["$INSUNITS"]) == ("AC1015", 4)
    loops = doc.modelspace().query("LWPOLYLINE")
    assert len(loops) >= 1 and all(p.closed and p.dxf.layer == "BLANK" for p in loops)
    polygons = [np.array([(x, y) for x, y, *_ in p.get_points()]) for p in loops]
    areas = [0.5 * abs(np.dot(q[:, 0], np.roll(q[:, 1], -1)) - np.dot(q[:, 1], np.roll(q[:, 0], -1)))
             for q in polygons]
    outer = int(np.argmax(areas))
    area = areas[outer] - sum(a for i, a in enumerate(areas) if i != outer)
    rectangle, angle, sides = least_rectangle(np.vstack(polygons))
    # The run report's summary lines (G14.8) and the summary JSON (full precision).
    text = Path(base + ".OUT").read_text()
    assert area == pytest.approx(float(text.split("Area of the blank is")[1].split("sq.mm.")[0]), rel=1e-7)
    assert rectangle == pytest.approx(float(text.split("least rectangle is")[1].split("sq.mm.")[0]), rel=1e-7)
    assert angle == int(text.split("counter-rotate")[1].split("degree")[0])
    summary = json.loads(Path(base + ".summary.json").read_text())
    box = summary["blank"]["rectangle"]
    assert summary["status"] == "complete" and area == pytest.approx(summary["blank"]["area_mm2"], rel=1e-9)
    assert (rectangle, angle) == (pytest.approx(box["area_mm2"], rel=1e-12), box["angle_deg"])
    assert sorted(sides) == pytest.approx(sorted([box["length_mm"], box["width_mm"]]), rel=1e-12)
    known = {tuple(p) for p in read_vtu(base + ".vtu")["blank"][:, :2]}  # outline points are blank nodes
    assert all(tuple(p) in known for q in polygons for p in q)
    if name == "holed_plate":  # closed form: the plate less its holes, each hole a loop
        assert len(loops) == 1 + len(HOLES)
        assert area == pytest.approx(HOLED_PLATE_AREA, rel=1e-12)
        assert (rectangle, angle) == (pytest.approx(20000.0, rel=1e-12), 0)
