#!/usr/bin/python3
"""trevo-import: turn a die engineer's shell mesh of a stamped part into a trevo job.

Reads the part mesh (LS-DYNA keyword, Nastran bulk data, Abaqus input, STL, OBJ, VTU and the
other formats meshio reads), merges coincident nodes, drops degenerate elements, orients the
elements consistently, turns the part so that the punch moves along +z with the normals on
the punch side, and writes a forming-type-0 job `<base>.dat` with one material.

A mesh that cannot give a sound blank (non-manifold edges, several pieces, no shell
elements, a size that looks like metres) is refused with a message naming the problem and
exit status 1; nothing is written then.
"""

import argparse
import math
import os
import sys
import tempfile

import numpy as np

# Named sheet grades: guaranteed minimum hardening exponent n and Lankford coefficient r90 of
# the grade's delivery standard (tested transverse to rolling, thickness 0.7..2 mm), and the
# standard's lowest tensile strength Rm. K follows from Rm and n by the Hollomon law
# sigma = K eps^n, whose uniform strain is eps_u = n (Considere), so that
# Rm = K n^n e^-n and K = Rm (e/n)^n. The standards give r90 only; r0 = r45 = r90 is used.
# (name: (Rm_min MPa, n_min, r90_min, source))
GRADES = {
    "DC04": (270.0, 0.18, 1.6, "EN 10130:2006 (cold-rolled low-carbon steel, DC04)"),
    "DC06": (270.0, 0.22, 2.1, "EN 10130:2006 (cold-rolled low-carbon steel, DC06)"),
    "DX54D": (260.0, 0.18, 1.6, "EN 10346:2015 (hot-dip coated steel, DX54D)"),
    "DX56D": (260.0, 0.21, 1.9, "EN 10346:2015 (hot-dip coated steel, DX56D)"),
    "DX57D": (260.0, 0.22, 2.1, "EN 10346:2015 (hot-dip coated steel, DX57D)"),
    # The dual-phase standard gives n10-UE but no r-value; r = 1 (planar isotropy).
    "DP600": (600.0, 0.14, 1.0, "EN 10336:2007 (dual-phase steel HCT600X); r not given, 1.0"),
}

# Defaults of a forming-type-0 run, written out so that the engineer sees and can edit them.
EPS0 = 0.001
DEFAULT_K, DEFAULT_N, DEFAULT_R = 600.0, 0.22, 1.0
CONTROL_LINES = [
    ("FRICTION", "0.2 0.13"),
    ("CORTROL", "300 0.0001 0.1 1.0 2.0"),
    ("METHOD", "1"),
    ("STABILIZ", "1.0 1.0"),
]

# A node closer than this fraction of the median edge length to an earlier one is the same node.
MERGE_TOLERANCE = 1e-4
# An element whose area is below this fraction of the squared median edge is degenerate.
DEGENERATE_AREA = 1e-10
# A part whose largest extent is below this (mm) was most likely modelled in metres.
SMALLEST_PART_MM = 5.0

# Proper rotations (det +1) that carry the given punch axis onto +z.
PUNCH_ROTATIONS = {
    "+z": ((1, 0, 0), (0, 1, 0), (0, 0, 1)),
    "-z": ((1, 0, 0), (0, -1, 0), (0, 0, -1)),
    "+x": ((0, 0, -1), (0, 1, 0), (1, 0, 0)),
    "-x": ((0, 0, 1), (0, 1, 0), (-1, 0, 0)),
    "+y": ((1, 0, 0), (0, 0, -1), (0, 1, 0)),
    "-y": ((1, 0, 0), (0, 0, 1), (0, -1, 0)),
}


class MeshError(Exception):
    """A problem with the input mesh; the message names it."""


def hollomon_k(rm, n):
    """Strength coefficient K whose Hollomon curve has the engineering tensile strength rm."""
    return rm * (math.e / n) ** n


# ---------------------------------------------------------------- readers

def _fortran_real(text):
    """A real in Fortran/Nastran form: 1.5, 1.5E-3, 1.5D-3, 1.5-3, -.5+2."""
    s = text.strip().upper().replace("D", "E")
    try:
        return float(s)
    except ValueError:
        for i in range(len(s) - 1, 0, -1):
            if s[i] in "+-" and s[i - 1] != "E":
                return float(s[:i] + "E" + s[i:])
        raise


def read_lsdyna(path):
    """Nodes and shell elements of an LS-DYNA keyword file (*NODE, *ELEMENT_SHELL[_options]).

    Fixed columns (8/16 wide, 20 wide in long format) or comma-separated free format."""
    ids, points, cells = [], [], []
    section, extra_cards, skip, long_format = None, 0, 0, False
    with open(path, errors="replace") as f:
        for lineno, raw in enumerate(f, 1):
            line = raw.rstrip("\r\n")
            if not line.strip() or line.startswith("$"):
                continue
            if line.startswith("*"):
                word = line.split()[0].upper()
                if word == "*KEYWORD" and "LONG=Y" in line.upper().replace(" ", ""):
                    long_format = True
                wide = long_format or word.endswith(("%", "+"))
                word = word.rstrip("%+")
                section, skip = None, 0
                if word == "*NODE":
                    section = ("node", 20 if wide else None)
                elif word.startswith("*ELEMENT_SHELL"):
                    options = word[len("*ELEMENT_SHELL"):].strip("_").split("_")
                    if "COMPOSITE" in options or "COMPOSITE_LONG" in word:
                        raise MeshError(f"line {lineno}: {word} is not supported")
                    extra_cards = (any(o in options for o in ("THICKNESS", "BETA", "MCID"))
                                   + ("OFFSET" in options) + ("DOF" in options))
                    section = ("shell", 20 if wide else None)
                continue
            if section is None:
                continue
            if skip:
                skip -= 1
                continue
            kind, width = section
            try:
                if "," in line:
                    fields = [s.strip() for s in line.split(",")]
                else:
                    w = width or (8 if kind == "shell" else None)
                    if kind == "node":
                        cols = [(0, w or 8)] + [((w or 8) + i * (w or 16), (w or 8) + (i + 1) * (w or 16))
                                                for i in range(3)]
                    else:
                        cols = [(i * w, (i + 1) * w) for i in range(10)]
                    fields = [line[a:b].strip() for a, b in cols]
                if kind == "node":
                    ids.append(int(fields[0]))
                    points.append([_fortran_real(v) if v else 0.0 for v in fields[1:4]])
                else:
                    nodes = [int(v) for v in fields[2:6] if v]
                    if len(nodes) == 4 and nodes[3] in (0, nodes[2]):
                        nodes = nodes[:3]
                    cells.append(nodes)
                    skip = extra_cards
            except (ValueError, IndexError):
                raise MeshError(f"line {lineno}: cannot read this {kind} line: {line.strip()!r}")
    return _by_identifier(ids, points, cells)


NASTRAN_SHELLS = {"CTRIA3": 3, "CTRIAR": 3, "CQUAD4": 4, "CQUADR": 4}


def _nastran_cards(path):
    """Bulk-data cards as (keyword, data fields, line number): small field (8 columns), large
    field (keyword with '*', 16 columns) and free field (commas), with continuation lines."""
    card = None
    with open(path, errors="replace") as f:
        lines = f.read().splitlines()
    if any(l.upper().startswith("BEGIN BULK") for l in lines):
        lines = lines[next(i for i, l in enumerate(lines) if l.upper().startswith("BEGIN BULK")) + 1:]
    for lineno, line in enumerate(lines, 1):
        if not line.strip() or line.startswith("$"):
            continue
        if line.upper().startswith("ENDDATA"):
            break
        if "," in line:
            fields = [s.strip() for s in line.split(",")]
            head, data = fields[0], fields[1:]
        elif line[:8].rstrip().endswith("*") or (line.startswith("*") and card and card[3]):
            head = line[:8].strip()
            data = [line[8 + 16 * i:24 + 16 * i].strip() for i in range(4)]
        else:
            head = line[:8].strip()
            data = [line[8 + 8 * i:16 + 8 * i].strip() for i in range(8)]
        continuation = head == "" or head.startswith(("+", "*"))
        if continuation and card is not None:
            card[1].extend(data)
            continue
        if card is not None:
            yield card[0], card[1], card[2]
        card = [head.upper().rstrip("*"), data, lineno, head.endswith("*")]
    if card is not None:
        yield card[0], card[1], card[2]


def read_nastran(path):
    """Nodes (GRID) and shell elements (CTRIA3, CQUAD4, CTRIAR, CQUADR) of a Nastran bulk-data file."""
    ids, points, cells = [], [], []
    for keyword, data, lineno in _nastran_cards(path):
        try:
            if keyword == "GRID":
                if data[1] not in ("", "0"):
                    raise MeshError(f"line {lineno}: GRID {data[0]} is given in coordinate system "
                                    f"{data[1]}; only the basic system is read")
                ids.append(int(data[0]))
                points.append([_fortran_real(v) if v else 0.0 for v in data[2:5]])
            elif keyword in NASTRAN_SHELLS:
                k = NASTRAN_SHELLS[keyword]
                cells.append([int(v) for v in data[2:2 + k]])
        except (ValueError, IndexError):
            raise MeshError(f"line {lineno}: cannot read this {keyword} card: {data}")
    return _by_identifier(ids, points, cells)


def _by_identifier(ids, points, cells):
    """Translate node identifiers into positions in file order (the first line of an identifier wins)."""
    index = {}
    for i, nid in enumerate(ids):
        index.setdefault(nid, i)
    out = []
    for c in cells:
        try:
            out.append([index[n] for n in c])
        except KeyError as e:
            raise MeshError(f"an element names node {e.args[0]}, which has no node line")
    return np.array(points, dtype=float).reshape(-1, 3), out


MESHIO_SHELLS = {"triangle": 3, "triangle6": 3, "triangle7": 3, "quad": 4, "quad8": 4, "quad9": 4}


def read_meshio(path):
    """Nodes and triangles/quadrilaterals of any format meshio reads (second-order elements by
    their corners), elements in file order."""
    import meshio
    try:
        mesh = meshio.read(path)
    except Exception as e:  # meshio raises many kinds for an unreadable file
        raise MeshError(f"cannot read the mesh ({type(e).__name__}: {e})")
    points = np.asarray(mesh.points, dtype=float)
    if points.size == 0:
        return np.zeros((0, 3)), []
    if points.ndim != 2 or points.shape[1] not in (2, 3):
        raise MeshError("the node coordinates are not 2D or 3D points")
    if points.shape[1] == 2:
        points = np.column_stack([points, np.zeros(len(points))])
    cells = []
    for block in mesh.cells:
        k = MESHIO_SHELLS.get(block.type)
        if k is not None:
            cells.extend(block.data[:, :k].tolist())
    return points, cells


def read_mesh(path):
    """Points (N x 3) and elements (lists of 3 or 4 point positions) of the part mesh."""
    if not os.path.isfile(path):
        raise MeshError("no such file")
    ext = os.path.splitext(path)[1].lower()
    if ext in (".k", ".key", ".dyn"):
        points, cells = read_lsdyna(path)
    elif ext in (".nas", ".bdf", ".fem"):
        points, cells = read_nastran(path)
    else:
        points, cells = read_meshio(path)
    n = len(points)
    for c in cells:
        if min(c) < 0 or max(c) >= n:
            raise MeshError("an element names a node that does not exist")
    if ext == ".stl":
        points, cells = _number_by_first_use(points, cells)
    return points, cells


def _number_by_first_use(points, cells):
    """Renumber nodes in the order the elements first use them (for formats without node numbers)."""
    order, seen = [], {}
    for c in cells:
        for p in c:
            if p not in seen:
                seen[p] = len(order)
                order.append(p)
    return points[order], [[seen[p] for p in c] for c in cells]


# ---------------------------------------------------------------- mesh repair and checks

def edge_lengths(points, cells):
    return np.array([np.linalg.norm(points[c[i]] - points[c[i - 1]]) for c in cells for i in range(len(c))])


def merge_coincident(points, cells, tol):
    """Map every node to the earliest node within tol of it; elements follow the map."""
    cell_of = {}
    rep = np.arange(len(points))
    keys = np.floor(points / tol).astype(np.int64)
    offsets = [(a, b, c) for a in (-1, 0, 1) for b in (-1, 0, 1) for c in (-1, 0, 1)]
    for i, key in enumerate(map(tuple, keys)):
        for d in offsets:
            for j in cell_of.get((key[0] + d[0], key[1] + d[1], key[2] + d[2]), ()):
                if np.linalg.norm(points[i] - points[j]) <= tol:
                    rep[i] = j
                    break
            if rep[i] != i:
                break
        if rep[i] == i:
            cell_of.setdefault(key, []).append(i)
    return [[int(rep[p]) for p in c] for c in cells], int(np.count_nonzero(rep != np.arange(len(points))))


def element_normal(points, c):
    """(P3 - P1) x (P4 - P2), a triangle's fourth corner being its third; its length is twice the area."""
    p = points[[c[0], c[1], c[2], c[-1]]]
    return np.cross(p[2] - p[0], p[3] - p[1])


def drop_degenerate(points, cells, min_area):
    """Collapse repeated corners (a quadrilateral with one repeated corner becomes a triangle);
    drop elements with fewer than 3 distinct corners or no area."""
    kept, dropped = [], 0
    for c in cells:
        d = [p for i, p in enumerate(c) if p != c[i - 1]] if len(c) == 4 else list(c)
        if len(d) < 3 or len(set(d)) != len(d) or np.linalg.norm(element_normal(points, d)) < 2 * min_area:
            dropped += 1
            continue
        kept.append(d)
    return kept, dropped


def drop_unused(points, cells):
    used = sorted({p for c in cells for p in c})
    new = {p: i for i, p in enumerate(used)}
    return points[used], [[new[p] for p in c] for c in cells]


def edge_map(cells):
    """Undirected edge -> list of (element, +1 when the element runs low->high node, else -1)."""
    edges = {}
    for e, c in enumerate(cells):
        for i in range(len(c)):
            a, b = c[i - 1], c[i]
            edges.setdefault((min(a, b), max(a, b)), []).append((e, 1 if a < b else -1))
    return edges


def check_topology(cells, edges):
    """Refuse non-manifold edges and a mesh of several edge-connected pieces."""
    bad = [k for k, v in edges.items() if len(v) > 2]
    if bad:
        a, b = bad[0]
        raise MeshError(f"{len(bad)} non-manifold edge(s): an edge is shared by more than two elements "
                        f"(first: nodes {a + 1}-{b + 1}, {len(edges[bad[0]])} elements)")
    parent = list(range(len(cells)))

    def find(x):
        while parent[x] != x:
            parent[x] = parent[parent[x]]
            x = parent[x]
        return x
    for v in edges.values():
        if len(v) == 2:
            parent[find(v[0][0])] = find(v[1][0])
    pieces = {}
    for e in range(len(cells)):
        pieces.setdefault(find(e), []).append(e)
    if len(pieces) > 1:
        sizes = sorted((len(p) for p in pieces.values()), reverse=True)
        raise MeshError(f"the mesh has {len(pieces)} disconnected pieces (elements per piece: "
                        f"{', '.join(map(str, sizes[:8]))}{', ...' if len(sizes) > 8 else ''}); "
                        "import one part at a time")


def orient_consistently(cells, edges):
    """Flip elements so that every shared edge is run in opposite directions by its two
    elements (propagation from the first element); returns the cells and the flip count."""
    flip = [None] * len(cells)
    neighbours = [[] for _ in cells]
    for v in edges.values():
        if len(v) == 2:
            (e, s), (f, t) = v
            same = s == t  # both run the edge the same way: one of them must be flipped
            neighbours[e].append((f, same))
            neighbours[f].append((e, same))
    flip[0] = False
    stack = [0]
    while stack:
        e = stack.pop()
        for f, same in neighbours[e]:
            want = flip[e] ^ same
            if flip[f] is None:
                flip[f] = want
                stack.append(f)
            elif flip[f] != want:
                raise MeshError("the surface cannot be oriented (it is one-sided, like a Moebius strip)")
    out = [[c[0]] + c[:0:-1] if fl else c for c, fl in zip(cells, flip)]
    return out, sum(flip)


def prepare(points, cells, punch_axis, scale):
    """Repair, check, orient and turn the mesh; returns points, cells and a list of notes."""
    notes = []
    if not cells:
        raise MeshError("the file has no shell elements (triangles or quadrilaterals)")
    points = np.asarray(points, dtype=float) * scale
    median = float(np.median(edge_lengths(points, cells)))
    if median <= 0.0:
        raise MeshError("the elements have no size (median edge length 0)")
    cells, merged = merge_coincident(points, cells, MERGE_TOLERANCE * median)
    if merged:
        notes.append(f"{merged} coincident node(s) merged")
    cells, dropped = drop_degenerate(points, cells, DEGENERATE_AREA * median ** 2)
    if dropped:
        notes.append(f"{dropped} degenerate element(s) dropped")
    if not cells:
        raise MeshError("no element is left after dropping the degenerate ones")
    points, cells = drop_unused(points, cells)
    edges = edge_map(cells)
    check_topology(cells, edges)
    cells, flipped = orient_consistently(cells, edges)
    points = points @ np.array(PUNCH_ROTATIONS[punch_axis], dtype=float).T
    nz = sum(element_normal(points, c)[2] for c in cells)
    if nz < 0.0:
        cells = [[c[0]] + c[:0:-1] for c in cells]
        flipped = len(cells) - flipped
    if flipped:
        notes.append(f"{flipped} element(s) turned so that the normals face the punch")
    extent = float(np.max(points.max(axis=0) - points.min(axis=0)))
    if extent < SMALLEST_PART_MM:
        raise MeshError(f"the part is only {extent:.4g} long: the mesh looks like it is in metres; "
                        "trevo works in millimetres (hint: --scale 1000)")
    return points, cells, notes


# ---------------------------------------------------------------- job writer

def keyword_line(keyword, values):
    """Keyword in columns 1-8, column 9 blank, values from column 10."""
    return f"{keyword:<8} {values}"


def real(x):
    """Shortest text that reads back as the same double."""
    return repr(float(x))


def job_text(source, points, cells, thickness, material, notes):
    eps0, k, n, r0, r45, r90, label = material
    ntri = sum(len(c) == 3 for c in cells)
    lines = [
        f"$$KVO/TREVO  trevo-import {os.path.basename(source)}",
        f"$ {len(points)} nodes, {len(cells)} elements ({ntri} triangles), thickness {real(thickness)} mm; "
        "punch direction +z",
        f"$ material {label}",
    ]
    lines += [f"$ {note}" for note in notes]
    lines.append(keyword_line("FORMTYPE", "0"))
    # Short form: columns 9 and 10 blank, then eps0, K, n, (unused), r0, r45, r90 from column 11.
    lines.append("MATERIAL  " + " ".join(real(v) for v in (eps0, k, n, 0.0, r0, r45, r90)))
    lines += [keyword_line(kw, v) for kw, v in CONTROL_LINES]
    for i, p in enumerate(points, 1):
        lines.append(keyword_line("SHETNODE", f"{i} {real(p[0])} {real(p[1])} {real(p[2])}"))
    t = real(thickness)
    for e, c in enumerate(cells, 1):
        q = [v + 1 for v in c] + ([c[2] + 1] if len(c) == 3 else [])
        lines.append(keyword_line("SHETQUAD", f"{e} {q[0]} {q[1]} {q[2]} {q[3]} {t}"))
    return "\n".join(lines) + "\n"


def write_atomically(path, text):
    folder = os.path.dirname(os.path.abspath(path))
    fd, tmp = tempfile.mkstemp(dir=folder, prefix=".trevo-import-")
    try:
        with os.fdopen(fd, "w") as f:
            f.write(text)
        os.replace(tmp, path)
    except BaseException:
        os.unlink(tmp)
        raise


# ---------------------------------------------------------------- command line

def material_from(args):
    if args.material:
        grade = args.material.upper()
        if grade not in GRADES:
            raise MeshError(f"unknown material grade {args.material!r}; known: {', '.join(GRADES)} "
                            "(or give --k, --n, --r0, --r45, --r90)")
        rm, n, r, source = GRADES[grade]
        k = round(hollomon_k(rm, n), 1)
        return (args.eps0, k, n, r, r, r, f"{grade}: K {k} MPa, n {n}, r {r} ({source})")
    vals = (args.k, args.n, args.r0, args.r45, args.r90)
    if min(vals) <= 0.0:
        raise MeshError("K, n and the r-values must be positive")
    return (args.eps0, *vals, "K {} MPa, n {}, r0 {}, r45 {}, r90 {}".format(*vals))


def parse_args(argv):
    p = argparse.ArgumentParser(
        prog="trevo-import",
        description="Import a part's shell mesh (.k, .nas/.bdf, .inp, .stl, .obj, .vtu, ...) as a "
                    "trevo job (forming type 0, part only).",
        epilog="Grades: " + "; ".join(f"{g} ({v[3]})" for g, v in GRADES.items()))
    p.add_argument("part", help="mesh file of the finished part")
    p.add_argument("--out", required=True, help="job file to write, <base>.dat")
    p.add_argument("--thickness", type=float, default=1.0, help="sheet thickness in mm (default 1.0)")
    p.add_argument("--material", help="named sheet grade: " + ", ".join(GRADES))
    p.add_argument("--k", type=float, default=DEFAULT_K, help="strength coefficient K in MPa (default 600)")
    p.add_argument("--n", type=float, default=DEFAULT_N, help="hardening exponent n (default 0.22)")
    p.add_argument("--r0", type=float, default=DEFAULT_R, help="Lankford coefficient at 0 deg (default 1)")
    p.add_argument("--r45", type=float, default=DEFAULT_R, help="Lankford coefficient at 45 deg (default 1)")
    p.add_argument("--r90", type=float, default=DEFAULT_R, help="Lankford coefficient at 90 deg (default 1)")
    p.add_argument("--eps0", type=float, default=EPS0, help="pre-strain of the hardening law (default 0.001)")
    p.add_argument("--punch-axis", choices=list(PUNCH_ROTATIONS), default="+z",
                   help="direction in which the punch moves in the mesh's coordinates (default +z)")
    p.add_argument("--scale", type=float, default=1.0,
                   help="factor applied to the coordinates, e.g. 1000 for a mesh in metres")
    # "--punch-axis -z" would read -z as an option: join the pair as argparse expects it.
    argv = list(argv)
    for i in range(len(argv) - 1):
        if argv[i] == "--punch-axis" and argv[i + 1] in PUNCH_ROTATIONS:
            argv[i:i + 2] = [f"--punch-axis={argv[i + 1]}", ""]
    args = p.parse_args([a for a in argv if a != ""])
    if args.material and any(getattr(args, a) != d for a, d in
                             (("k", DEFAULT_K), ("n", DEFAULT_N), ("r0", DEFAULT_R),
                              ("r45", DEFAULT_R), ("r90", DEFAULT_R))):
        p.error("give either --material or --k/--n/--r0/--r45/--r90, not both")
    if not args.out.endswith(".dat"):
        p.error("--out must name the job file <base>.dat")
    if args.thickness <= 0.0 or args.scale <= 0.0:
        p.error("--thickness and --scale must be positive")
    return args


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    try:
        material = material_from(args)
    except MeshError as e:
        print(f"trevo-import: {e}", file=sys.stderr)
        return 1
    try:
        points, cells = read_mesh(args.part)
        points, cells, notes = prepare(points, cells, args.punch_axis, args.scale)
        text = job_text(args.part, points, cells, args.thickness, material, notes)
        write_atomically(args.out, text)
    except MeshError as e:
        print(f"trevo-import: {args.part}: {e}", file=sys.stderr)
        return 1
    for note in notes:
        print(f"trevo-import: {note}")
    print(f"trevo-import: wrote {args.out}: {len(points)} nodes, {len(cells)} elements")
    return 0


if __name__ == "__main__":
    sys.exit(main())
