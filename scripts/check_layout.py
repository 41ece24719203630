#!/usr/bin/python3
"""Checks that trevo's source folders depend on each other one way only.

- src/core/ is the ground: it includes nothing from any other folder of src/;
- nothing outside src/driver/ includes src/driver/;
- no two folders of src/ include each other, directly or through a chain;
- every test folder but e2e/, fuzz/, data/ and tools/ mirrors a folder of src/.
Prints each breach with the file that causes it and exits 1 if there is one.
"""
import re
import sys
from pathlib import Path

INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/[^"]+"', re.M)


def folder_edges(src: Path):
    """(from folder, to folder) -> first file that makes the edge."""
    edges = {}
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp") or not path.is_file():
            continue
        here = path.relative_to(src).parts[0]
        for target in INCLUDE.findall(path.read_text(errors="replace")):
            if target != here and (src / target).is_dir():
                edges.setdefault((here, target), str(path.relative_to(src.parent)))
    return edges


def reachable(start, edges):
    seen, todo = set(), [start]
    while todo:
        node = todo.pop()
        for (a, b) in edges:
            if a == node and b not in seen:
                seen.add(b)
                todo.append(b)
    return seen


def breaches(root: Path):
    src = root / "src"
    edges = folder_edges(src)
    found = []
    for (a, b), where in edges.items():
        if a == "core":
            found.append(f"{where}: the ground (core) includes {b}/")
        if b == "driver":
            found.append(f"{where}: {a}/ includes the driver")
    folders = sorted(p.name for p in src.iterdir() if p.is_dir())
    for a in folders:
        if a in reachable(a, edges):
            chain = [w for (x, y), w in edges.items() if x == a]
            found.append(f"src/{a}/ depends on itself through a chain of folders (starting at {chain})")
    for test_dir in sorted(p for p in (root / "tests").iterdir() if p.is_dir()):
        if test_dir.name not in ("e2e", "fuzz", "data", "tools") and test_dir.name not in folders:
            found.append(f"tests/{test_dir.name}/ has no src/{test_dir.name}/ to mirror")
    return found


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent)
    found = breaches(root)
    for line in found:
        print(line)
    print(f"layout: {len(found)} breaches")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
