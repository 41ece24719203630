"""trevo-import: real parts in every mesh format give the same blank, repairs restore the part, bad meshes are refused.

Runs: /usr/bin/python3 -m pytest tests/tools/test_import.py   (TREVO_SLOW_TESTS=1: all 30 round trips)
"""
import os
import pathlib
import re
import subprocess
import sys

import meshio
import numpy as np
import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
TOOL = ROOT / "src" / "tools" / "trevo_import.py"
TREVO = pathlib.Path(os.environ.get("TREVO_BINARY", ROOT / "build" / "trevo"))
VALIDATION = pathlib.Path(os.environ.get("TREVO_SHARED_DIR", ROOT.parent / "shared")) / "validation"
REAL = ["recliner_bracket", "cross_member_pocket", "door_hinge_panel", "cross_member", "halo_outer", "door_inner"]
FORMATS = ["k", "nas", "inp", "stl", "vtu"]


def read_dat(path):
    """Nodes (file order), 0-based elements (triangles with 3 corners) and thickness of a job."""
    lines = pathlib.Path(path).read_text().splitlines()
    nodes = [line[9:].split() for line in lines if line.startswith("SHETNODE")]
    quads = [line[9:].split() for line in lines if line.startswith("SHETQUAD")]
    index = {int(v[0]): i for i, v in enumerate(nodes)}
    cells = [[index[int(n)] for n in v[1:5]] for v in quads]
    return (np.array([[float(x) for x in v[1:4]] for v in nodes]), [c[:3] if c[3] == c[2] else c for c in cells],
            float(quads[-1][5]) if quads else None)


def blocks(cells):
    """meshio cell blocks in element order: one block per run of equal corner counts."""
    out = []
    for c in cells:
        kind = "triangle" if len(c) == 3 else "quad"
        out[-1][1].append(c) if out and out[-1][0] == kind else out.append((kind, [c]))
    return [(k, np.array(v)) for k, v in out]


def triangulate(cells):
    return [t for c in cells for t in ([c] if len(c) == 3 else [[c[0], c[1], c[2]], [c[0], c[2], c[3]]])]


def corners(c):
    return [v + 1 for v in c] + ([c[2] + 1] if len(c) == 3 else [])


def write_mesh(path, pts, cells):
    """The part in path's format; .k in the LS-DYNA manual's fixed columns (*NODE i8,3e16; *ELEMENT_SHELL 10i8)."""
    if path.suffix == ".k":
        lines = ["*KEYWORD", "*NODE"] + [f"{i:8d}" + "".join(f"{x!r:>16}" for x in p)
                                         for i, p in enumerate(pts.tolist(), 1)]
        assert max(map(len, lines)) <= 56
        lines += ["*ELEMENT_SHELL"] + [f"{e:8d}{1:8d}" + "".join(f"{v:8d}" for v in corners(c))
                                       for e, c in enumerate(cells, 1)]
        path.write_text("\n".join(lines + ["*END"]) + "\n")
    elif path.suffix == ".stl":
        meshio.write(path, meshio.Mesh(pts, [("triangle", np.array(triangulate(cells)))]), binary=False)
    else:
        meshio.write(path, meshio.Mesh(pts, blocks(cells)))


def blank_area(dat):
    """Run trevo on a job (keeping its input); the blank area of its run report."""
    base = str(dat)[:-4]
    subprocess.run([str(TREVO), base, "20000", "1"], capture_output=True, timeout=600, check=True)
    m = re.search(r"Area of the blank is\s*(\S+)\s*sq\.mm\.", pathlib.Path(base + ".OUT").read_text())
    assert m, f"no blank area in {base}.OUT"
    return float(m.group(1))


def run_import(*args):
    return subprocess.run([sys.executable, str(TOOL), *map(str, args)], capture_output=True, text=True)


@pytest.fixture(scope="session")
def reference_area(tmp_path_factory):
    """Blank area of each real part's own job, run once per session."""
    cache = {}

    def area(part):
        if part not in cache:
            job = tmp_path_factory.mktemp(part) / f"{part}.dat"
            job.write_text((VALIDATION / "real" / part / f"{part}.dat").read_text())
            cache[part] = blank_area(job)
        return cache[part]
    return area


# Every format on the two smallest parts, one on each larger one but door_inner (a minute a run); the rest opt-in.
FAST = [(p, f) for p in REAL[:2] for f in FORMATS] + list(zip(REAL[2:5], ["k", "nas", "inp"]))
SLOW = [(p, f) for p in REAL[2:] for f in FORMATS if (p, f) not in FAST]
slow = pytest.mark.skipif(os.environ.get("TREVO_SLOW_TESTS") != "1", reason="opt-in: TREVO_SLOW_TESTS=1")


@pytest.mark.parametrize("part,fmt", FAST + [pytest.param(*c, marks=slow) for c in SLOW])
def test_real_part_round_trip_gives_the_same_blank(part, fmt, tmp_path, reference_area):
    pts, cells, t = read_dat(VALIDATION / "real" / part / f"{part}.dat")
    write_mesh(tmp_path / f"{part}.{fmt}", pts, cells)
    r = run_import(tmp_path / f"{part}.{fmt}", "--out", tmp_path / "imported.dat", "--thickness", t)
    assert r.returncode == 0, r.stderr
    expected = reference_area(part)
    if fmt == "stl":  # triangles only: the reference is the part split along 1-3, nodes in first-use order
        tris = triangulate(cells)
        order = list(dict.fromkeys(p for c in tris for p in c))
        new = {p: i for i, p in enumerate(order)}
        lines = ["$$KVO/TREVO  reference", "FORMTYPE 0", "MATERIAL  0.001 600.0 0.22 0 1.0 1.0 1.0"]
        lines += [f"SHETNODE {i} {p[0]!r} {p[1]!r} {p[2]!r}" for i, p in enumerate(pts[order].tolist(), 1)]
        lines += [f"SHETQUAD {e} {' '.join(str(new[v - 1] + 1) for v in corners(c))} {t!r}" for e, c in enumerate(tris, 1)]
        (tmp_path / "reference.dat").write_text("\n".join(lines) + "\n")
        expected = blank_area(tmp_path / "reference.dat")
        assert expected == pytest.approx(reference_area(part), rel=2e-2)
    assert blank_area(tmp_path / "imported.dat") == pytest.approx(expected, rel=1e-6)


def normals_z(pts, cells):
    return np.array([np.cross(pts[c[2]] - pts[c[0]], pts[c[-1]] - pts[c[1]])[2] for c in cells])


# Proper rotations that take +z to the named axis: the mesh as a die engineer would have it.
TO_AXIS = {"+z": np.eye(3), "-z": np.diag([1.0, -1.0, -1.0]), "+x": np.array([[0.0, 0, 1], [0, 1, 0], [-1, 0, 0]]),
           "-y": np.array([[1.0, 0, 0], [0, 0, -1], [0, 1, 0]])}


@pytest.mark.parametrize("axis", list(TO_AXIS))
@pytest.mark.parametrize("damage", ["flipped", "reversed", "soup", "degenerate"])
def test_repairs_restore_the_clean_part(axis, damage, tmp_path):
    """Half/all elements flipped, a node soup with 1e-7 mm noise, or zero-area elements: back to the clean part, normals +z."""
    pts, cells, _ = read_dat(VALIDATION / "generated" / "cone.dat")
    rng = np.random.default_rng(7)
    bad_pts, bad_cells = pts, [list(c) for c in cells]
    if damage in ("flipped", "reversed"):
        bad_cells = [[c[0]] + c[:0:-1] if rng.random() < (0.5 if damage == "flipped" else 1) else c for c in cells]
    elif damage == "soup":
        bad_pts = np.array([pts[p] + rng.normal(0, 1e-7, 3) if k else pts[p] for c in cells for k, p in enumerate(c)])
        ends = np.cumsum([0] + [len(c) for c in cells])
        bad_cells = [list(range(a, b)) for a, b in zip(ends, ends[1:])]
    else:
        bad_cells += [[c[0], c[1], c[1], c[0]] for c in cells[::50]] + [[c[0], c[2], c[0]] for c in cells[::70]]
    meshio.write(tmp_path / "part.vtu", meshio.Mesh(bad_pts @ TO_AXIS[axis].T, blocks(bad_cells)))
    r = run_import(tmp_path / "part.vtu", "--out", tmp_path / "part.dat", "--punch-axis", axis)
    assert r.returncode == 0, r.stderr
    got_pts, got_cells, _ = read_dat(tmp_path / "part.dat")
    nz = normals_z(got_pts, got_cells)
    assert len(got_cells) == len(cells) and len(got_pts) == len(pts) and np.all(nz >= -1e-9 * np.abs(nz).max())
    if damage != "soup":
        assert got_cells == cells
        np.testing.assert_allclose(got_pts, pts, atol=1e-12)
    else:  # the soup's nodes come back in first-use order
        np.testing.assert_allclose(np.abs(nz).sum(), np.abs(normals_z(pts, cells)).sum(), rtol=1e-9)


# The plate of 5 nodes (x, y) and a quad 1-2-3-4 and triangle 2-5-3 in the readers' common variants.
XY = [(0, 0), (10, 0), (10, 10), (0, 10), (20, 0)]
SHELLS = [(11, [1, 2, 3, 4]), (12, [2, 5, 3, 3])]
VARIANTS = {
    "small.nas": "BEGIN BULK\n" + "".join(f"GRID    {i:<8d}        {float(x):<8}{float(y):<8}0.\n" for i, (x, y) in enumerate(XY, 1))
    + "CQUAD4  11      1       1       2       3       4       0.      .1\nCTRIA3  12      1       2       5       3\nENDDATA\n",
    "large.bdf": "GRID*   1                               0.0             0.0\n*       0.0\nGRID*   2                               1.+1"
    "            0.0\n*       0.0\nGRID*   3                               10.0            1.0E+1\n*       0.0\nGRID*   4"
    "                               0.0             10.0D0\n*       0.0\nGRID*   5                               2.0+1"
    "           0.0\n*       0.0\nCQUAD4* 11              1               1               2               +\n"
    "*       3               4\nCTRIA3  12      1       2       5       3\n",
    "free.nas": "$ free field\n" + "".join(f"GRID,{i},,{x}.,{y}.,0.\n" for i, (x, y) in enumerate(XY, 1))
    + "CQUAD4,11,1,1,2,3,4,0.0,0.1\nCTRIA3,12,1,2,5,3\n",
    "free.k": "*KEYWORD\n*NODE\n" + "".join(f"{i},{x}.,{y:.1e},0.\n" for i, (x, y) in enumerate(XY, 1))
    + "*ELEMENT_SHELL_THICKNESS\n" + "".join(f"{e},1,{','.join(map(str, c))}\n1.2,1.2,1.2,1.2\n" for e, c in SHELLS) + "*END\n",
    "long.k": "*KEYWORD LONG=Y\n*NODE\n" + "".join(f"{i:20d}{x:20.1f}{y:20.1f}{0:20.1f}\n" for i, (x, y) in enumerate(XY, 1))
    + "*ELEMENT_SHELL\n" + "".join(f"{e:20d}{1:20d}" + "".join(f"{v:20d}" for v in c) + "\n" for e, c in SHELLS) + "*END\n",
}


@pytest.mark.parametrize("name", list(VARIANTS))
def test_own_readers_accept_the_common_variants(name, tmp_path):
    (tmp_path / name).write_text(VARIANTS[name])
    r = run_import(tmp_path / name, "--out", tmp_path / "job.dat", "--scale", "10")
    assert r.returncode == 0, r.stderr
    pts, cells, _ = read_dat(tmp_path / "job.dat")
    np.testing.assert_array_equal(pts, 10 * np.array([[x, y, 0] for x, y in XY]))
    assert cells == [[0, 1, 2, 3], [1, 4, 2]]


def grid(n=6, m=4, h=10.0):
    """A flat plate of quads, the last row split into triangles, normals +z."""
    pts = np.array([[i * h, j * h, 0.0] for j in range(m + 1) for i in range(n + 1)])
    q = [[a, a + 1, a + n + 2, a + n + 1] for a in (j * (n + 1) + i for j in range(m) for i in range(n))]
    return pts, q[:-n] + triangulate(q[-n:])


def mobius(n=24):
    """A strip joining its ends with a half turn."""
    a = 2 * np.pi * np.arange(n)[:, None] / n
    s = np.array([[-10.0, 10.0]])
    r = 100 + s * np.cos(a / 2)
    pts = np.stack([r * np.cos(a), r * np.sin(a), s * np.sin(a / 2)], axis=-1).reshape(-1, 3)
    cells = [[2 * i, 2 * i + 2, 2 * i + 3, 2 * i + 1] for i in range(n - 1)] + [[2 * n - 2, 1, 0, 2 * n - 1]]
    return meshio.Mesh(pts, [("quad", np.array(cells))])


PTS, CELLS = grid()
BAD_MESHES = [
    ("fin.inp", meshio.Mesh(np.vstack([PTS, [[10.0, 5.0, 10.0]]]), blocks(CELLS + [[1, 8, len(PTS)]])), "non-manifold edge"),
    ("two.vtu", meshio.Mesh(np.vstack([PTS, PTS + [100.0, 0, 0]]), blocks(CELLS + [[p + len(PTS) for p in c] for c in CELLS])),
     "2 disconnected pieces"),
    ("solid.vtu", meshio.Mesh(np.vstack([np.zeros(3), 50 * np.eye(3)]), [("tetra", np.array([[0, 1, 2, 3]]))]),
     "no shell elements"),
    ("metres.stl", meshio.Mesh(PTS / 1000, [("triangle", np.array(triangulate(CELLS)))]), "--scale 1000"),
    ("mobius.obj", mobius(), "cannot be oriented"),
    ("dangling.k", "*NODE\n1,0,0,0\n2,9,0,0\n3,9,9,0\n*ELEMENT_SHELL\n1,1,1,2,3,7\n", "node 7, which has no node line"),
    ("notamesh.inp", "this is no mesh\n", "no shell elements"),
]


@pytest.mark.parametrize("name,mesh,message", BAD_MESHES, ids=[c[0] for c in BAD_MESHES])
def test_bad_mesh_is_refused_and_nothing_is_written(name, mesh, message, tmp_path):
    path = tmp_path / name
    path.write_text(mesh) if isinstance(mesh, str) else meshio.write(path, mesh)
    r = run_import(path, "--out", tmp_path / "job.dat")
    assert r.returncode == 1 and message in r.stderr and name in r.stderr, (r.stdout, r.stderr)
    assert list(tmp_path.iterdir()) == [path]
