#!/usr/bin/python3
"""Cuts a job down to a small seed for the fuzz corpus.

Usage: scripts/fuzz_seed_job.py JOB.dat ELEMENTS > seed.dat

Keeps the signature and every control line; keeps a connected patch of about ELEMENTS part
elements around the part's middle with the nodes they use, and for each tool the ELEMENTS
tool elements nearest to that patch with their nodes. Contour rows are kept, at most two,
on the first nodes; feature lines and comment lines other than the signature are dropped.
"""
import sys
from collections import deque

MESHES = {"SHET": "part", "BIND": "blank-holder", "FLAN": "binder", "HOLD": "pad"}


def main():
    path, count = sys.argv[1], int(sys.argv[2])
    lines = open(path, errors="replace").read().splitlines()
    nodes = {p: {} for p in MESHES}  # prefix -> identifier -> (position, line)
    quads = {p: [] for p in MESHES}  # prefix -> [(identifiers, line)]
    controls, contours = [], []
    for number, line in enumerate(lines):
        key, fields = line[:8], line[8:].split()
        if key[4:] == "NODE" and key[:4] in MESHES:
            nodes[key[:4]].setdefault(fields[0], (len(nodes[key[:4]]), line))
        elif key[4:] == "QUAD" and key[:4] in MESHES:
            quads[key[:4]].append((fields[1:5], line))
        elif key.startswith("CONTRAT"):
            contours.append(key)
        elif key in ("FEATLINE", "FTLNNODE") or (line.startswith("$") and number > 0):
            continue
        else:
            controls.append(line.split("  ", 1)[0] if line.startswith("$$") else line)

    def centre(prefix, ids):
        points = [[float(v) for v in nodes[prefix][i][1][8:].split()[1:4]] for i in ids if i in nodes[prefix]]
        return [sum(c) / len(points) for c in zip(*points)] if points else [0.0, 0.0, 0.0]

    # The part patch: breadth-first over shared nodes from the element nearest to the middle.
    part = quads["SHET"]
    middle = centre("SHET", list(nodes["SHET"]))
    start = min(range(len(part)), key=lambda e: dist(centre("SHET", part[e][0]), middle))
    by_node = {}
    for e, (ids, _) in enumerate(part):
        for i in ids:
            by_node.setdefault(i, []).append(e)
    patch, todo = {start}, deque([start])
    while todo and len(patch) < count:
        for i in part[todo.popleft()][0]:
            for e in by_node[i]:
                if e not in patch and len(patch) < count:
                    patch.add(e)
                    todo.append(e)
    kept = {"SHET": [part[e] for e in sorted(patch)]}
    middle = centre("SHET", {i for ids, _ in kept["SHET"] for i in ids})
    for prefix in ("BIND", "FLAN", "HOLD"):
        kept[prefix] = sorted(quads[prefix], key=lambda q: dist(centre(prefix, q[0]), middle))[:count]

    out = controls[:]
    for n, key in enumerate(contours[:2]):
        out.append(f"{key} {n + 1} {n + 1} 0.0")
    for prefix in MESHES:
        used = {i for ids, _ in kept[prefix] for i in ids}
        for i, (_, line) in sorted(nodes[prefix].items(), key=lambda item: item[1][0]):
            if i in used:  # coordinates to six digits keep the seed short
                out.append(" ".join([line[:8], i] + [f"{float(v):.6g}" for v in line[8:].split()[1:]]))
        out += [line for _, line in kept[prefix]]
    print("\n".join(out))


def dist(a, b):
    return sum((p - q) ** 2 for p, q in zip(a, b))


if __name__ == "__main__":
    main()
