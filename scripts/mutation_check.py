#!/usr/bin/env python3
"""Mutation check: does the test suite catch small, realistic slips in src/?

Each mutant replaces one exact code fragment of one source file (a flipped
comparison, a dropped term, a wrong sign, an off-by-one index, a skipped call or
swapped arguments), rebuilds trevo and the test programs, and runs the whole
CTest suite. A mutant is "killed" when some test fails or the suite runs past the
time limit, "survived" when every test passes, and "invalid" when it does not
build. The source file is always restored, also on Ctrl-C.

Usage:
  scripts/mutation_check.py --tree DIR --build DIR [--timeout SECONDS]
                            [--only ID,...] [--list] [--markdown FILE]

A mutant names its file by basename; the file is looked up under DIR/src, so the
same table works whichever subsystem folder the file lives in. Run it niced, e.g.
  nice -n 19 /usr/bin/python3 scripts/mutation_check.py --tree . --build build
"""
import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path


@dataclass(frozen=True)
class Mutant:
    id: str
    file: str  # basename under src/
    kind: str
    description: str
    find: str  # occurs exactly once in the file
    replace: str


FLIP, DROP, SIGN, OFF1, SKIP, SWAP = ("flipped comparison", "dropped term", "wrong sign", "off-by-one index",
                                      "skipped call", "swapped arguments")

MUTANTS = [
    # ---- fortran: edit descriptors, list-directed input, unformatted records
    Mutant("F1", "edit.cpp", FLIP, "E field: exponent 10 written with three digits (E+010)",
           '(mag < 10 ? "0" : "")', '(mag <= 10 ? "0" : "")'),
    Mutant("F2", "edit.cpp", DROP, "G editing: upper bound 10^d no longer sends a value to the E form",
           "if (m < 0.1 * r_sc || 0.5 >= exp_d - m) return -1;", "if (m < 0.1 * r_sc) return -1;"),
    Mutant("F3", "records.cpp", SKIP, "unformatted text field is not blank-padded to its length",
           "bytes_.append(n - kept, ' ');", ""),
    Mutant("F4", "list_input.cpp", OFF1, "repeat count r*value yields r+1 values",
           "repeat_left_ = count - 1;", "repeat_left_ = count;"),
    Mutant("F5", "list_input.cpp", SKIP, "integer with a leading '+' is rejected",
           "if (t[0] == '+') t.remove_prefix(1);", ""),
    # ---- core: work array, index table, reporter, frame transform, mesh
    Mutant("C1", "work_array.cpp", OFF1, "a slice that exactly fills the work array is refused",
           "first - 1 + count > work_.size()", "first + count > work_.size()"),
    Mutant("C2", "index_table.cpp", FLIP, "binder node slice sized 0 when there is a binder",
           "c.binder_nodes = settings.binder_flag == 1 ? settings.binder_nodes : 0;",
           "c.binder_nodes = settings.binder_flag != 1 ? settings.binder_nodes : 0;"),
    Mutant("C3", "reporter.h", SKIP, "messages reach the console but not the run report",
           "void both(std::string_view record) { console(record); report(record); }",
           "void both(std::string_view record) { console(record); }"),
    Mutant("C4", "frame_transform.h", SIGN, "rotation about y uses the wrong sign for x",
           "const double x1 = c * x + s * z, z1 = -s * x + c * z;",
           "const double x1 = c * x - s * z, z1 = -s * x + c * z;"),
    Mutant("C5", "mesh.h", OFF1, "triangle test compares corner 4 with corner 2 instead of 3",
           "return m.node(e, 3) == m.node(e, 2) ? 3 : 4;", "return m.node(e, 3) == m.node(e, 1) ? 3 : 4;"),
    # ---- input: keyword scan, controls, duplicate elements, mesh readers
    Mutant("I1", "keyword_scan.cpp", FLIP, "forming type 2 (binder only) loses its binder",
           "settings.binder_flag = settings.forming_type % 10 >= 2 ? 1 : 0;",
           "settings.binder_flag = settings.forming_type % 10 > 2 ? 1 : 0;"),
    Mutant("I2", "controls.cpp", SWAP, "FRICTION values read into the two coefficients the other way round",
           "values.update(s.friction1);\n    values.update(s.friction2);",
           "values.update(s.friction2);\n    values.update(s.friction1);"),
    Mutant("I3", "duplicate_elements.cpp", OFF1, "corner sort skips the first corner: reordered duplicates missed",
           "for (int a = 1; a < count; ++a) {", "for (int a = 2; a < count; ++a) {"),
    Mutant("I4", "mesh_readers.cpp", OFF1, "element material number kept 1-based",
           "= line.material - 1;", "= line.material;"),
    Mutant("I5", "mesh_readers.cpp", DROP, "a 0 as fourth node id no longer makes a triangle",
           "const bool triangle = line.ids[3] == line.ids[2] || (line.ids[3] == 0 && !index.has_zero());",
           "const bool triangle = line.ids[3] == line.ids[2];"),
    # ---- prepare: topology, matrix pattern, positioning, geometry blend
    Mutant("P1", "topology.cpp", DROP, "lopsided-corner test checks only one corner sum",
           "return s13 > 2.0 * s24 || s24 > 2.0 * s13;", "return s13 > 2.0 * s24;"),
    Mutant("P2", "topology.cpp", SWAP, "split quadrilateral: new triangle has reversed orientation",
           "set_triangle(part, fresh, n1, n2, n4);", "set_triangle(part, fresh, n1, n4, n2);"),
    Mutant("P3", "matrix_pattern.cpp", OFF1, "adjacency run sorted from its second entry only",
           "for (int32_t a = 0; a < k; ++a) {", "for (int32_t a = 1; a < k; ++a) {"),
    Mutant("P4", "positioning.cpp", SIGN, "tipping search: trial rotation about y with the wrong sign",
           ": -s * nx[i] + c * nz[i];", ": s * nx[i] + c * nz[i];"),
    Mutant("P5", "positioning.cpp", SKIP, "levelling does not lower the binder with the part",
           "lower(nodes_of(in.binder.z, in.binder.nn));", ""),
    Mutant("P6", "geometry_blend.cpp", FLIP, "blend quality takes the largest normal z instead of the smallest",
           "if (nz < result.q) result = {nz, e};", "if (nz > result.q) result = {nz, e};"),
    # ---- solver: element, material, assembly, CG, tool terms, diagnosis, iteration control
    Mutant("S1", "element.cpp", SIGN, "metric G12: normal-displacement term with the wrong sign",
           "const double g12 = -(1.0 - u1x) * u1y - u2x * (1.0 - u2y) + u3x * u3y;",
           "const double g12 = -(1.0 - u1x) * u1y - u2x * (1.0 - u2y) - u3x * u3y;"),
    Mutant("S2", "element.cpp", SKIP, "quadrilateral stiffness misses its third strain set",
           "add_set_stiffness(g, 2, d11, d12, d_shear, volume / 3.0, slopes, k);", ""),
    Mutant("S3", "element.cpp", SWAP, "syy takes d11 and d12 in the other order",
           "st.syy = ds.d12 * st.exx + ds.d11 * st.eyy;", "st.syy = ds.d11 * st.exx + ds.d12 * st.eyy;"),
    Mutant("S4", "material.cpp", DROP, "mean r-value forgets r90",
           "return (r0 + 2.0 * r45 + r90) / 4.0;", "return (r0 + 2.0 * r45) / 4.0;"),
    Mutant("S5", "material.cpp", SIGN, "equivalent strain: a2 with the wrong sign of q exx",
           "const double a2 = (e3 - q * exx) / d;", "const double a2 = (e3 + q * exx) / d;"),
    Mutant("S6", "assembly.cpp", OFF1, "a y constraint clears the x residual",
           "if (held.held_y[node] != 0) r[2 * node + 1] = 0.0;", "if (held.held_y[node] != 0) r[2 * node] = 0.0;"),
    Mutant("S7", "assembly.cpp", SWAP, "residual formed as internal - external",
           "r[i] = external[i] - internal[i];", "r[i] = internal[i] - external[i];"),
    Mutant("S8", "conjugate_gradient.cpp", SIGN, "CG updates x against the search direction",
           "x[i] = x[i] + alpha * p[i];", "x[i] = x[i] - alpha * p[i];"),
    Mutant("S9", "conjugate_gradient.cpp", SWAP, "CG beta as rho / rho_next",
           "const double beta = rho_next / rho;", "const double beta = rho / rho_next;"),
    Mutant("S10", "tool_terms.cpp", SIGN, "holder friction pushes y along the motion",
           "external[2 * j + 1] -= force * uy / length;", "external[2 * j + 1] += force * uy / length;"),
    Mutant("S11", "tool_terms.cpp", FLIP, "punch force sums the nodes not in punch contact",
           "if (state[j] == 2) sum += internal_z[j];", "if (state[j] != 2) sum += internal_z[j];"),
    Mutant("S12", "diagnosis.cpp", DROP, "verdict force threshold forgets the thickness",
           "T = t1 * f;", "T = f;"),
    Mutant("S13", "diagnosis.cpp", OFF1, "closing progress line shows the next iteration number",
           "reporter.both(progress_line(nn0 - 1, values));", "reporter.both(progress_line(nn0, values));"),
    Mutant("S14", "iteration_control.cpp", FLIP, "inversion count takes every non-inverted element",
           "if (area2 < -1.0e-5) ++count;", "if (area2 > -1.0e-5) ++count;"),
    Mutant("S15", "iteration_control.cpp", SWAP, "y stabilisation uses the blank's x extent",
           "std::fabs(displacement[2 * i + 1]), e.y);", "std::fabs(displacement[2 * i + 1]), e.x);"),
    Mutant("S16", "iteration_control.h", DROP, "a MAXP beyond the 4-byte reals' range counts as finite",
           "return std::fabs(maxp) <= kSingleLimit;", "return true;"),
    # ---- restraint: restraint set-up, pre-unfolding, membrane, schedule, binder surface
    Mutant("R1", "restraint_setup.cpp", SWAP, "corner share: quarter for triangles, third for quadrilaterals",
           "return quad ? force * 0.25 : force / 3.0;", "return quad ? force / 3.0 : force * 0.25;"),
    Mutant("R2", "restraint_setup.cpp", DROP, "BDFORCE sums restraining forces without the bead lengths",
           "totals.bdforce += beads.restraining[b] * bead_length(beads, b);",
           "totals.bdforce += beads.restraining[b];"),
    Mutant("R3", "pre_unfolding.cpp", SIGN, "rigid-motion filter adds the rotation to y instead of removing it",
           "dU[2 * i + 1] -= ty + w * (X[i] - cx);", "dU[2 * i + 1] -= ty - w * (X[i] - cx);"),
    Mutant("R4", "corotational_membrane.cpp", SIGN, "co-rotated gap: y with the wrong sign of the turn",
           "gap[2 * k + 1] = t.s * r.px[k] + t.c * r.py[k] - r.qy[k];",
           "gap[2 * k + 1] = -t.s * r.px[k] + t.c * r.py[k] - r.qy[k];"),
    Mutant("R5", "unfolding_schedule.cpp", FLIP, "pre-unfolding relaxation band 20..60 inverted",
           "} else if (adp < 60.0) {", "} else if (adp > 60.0) {"),
    Mutant("R6", "binder_surface.cpp", SKIP, "blank on the binder keeps the part's heights, not the binder's",
           "std::copy(Zb.begin(), Zb.end(), part_z.begin());", ""),
    # ---- output: blank mesh, outline, blank summary, post frames, dynain
    Mutant("O1", "blank_mesh.cpp", OFF1, "Nastran element records give 0-based node numbers",
           "r += edit_i(m.node(e, k) + 1, kFieldWidth);", "r += edit_i(m.node(e, k), kFieldWidth);"),
    Mutant("O2", "outline.cpp", FLIP, "outline continuation line one point later",
           "++counter < kPointsPerLine", "++counter <= kPointsPerLine"),
    Mutant("O3", "blank_summary.cpp", DROP, "blank weight ignores the element thickness",
           "volume += a * thickness[static_cast<size_t>(e)];", "volume += a;"),
    Mutant("O4", "post_frames.cpp", SIGN, "minor strain = mean + radius",
           "c.minor_strain[e] = mean - radius;", "c.minor_strain[e] = mean + radius;"),
    Mutant("O5", "dynain.cpp", SWAP, "dynain node records with x and y exchanged",
           "records.record(node_record(n, c.x[i], c.y[i], c.z[i]));",
           "records.record(node_record(n, c.y[i], c.x[i], c.z[i]));"),
    # ---- driver: command line, run files, phases
    Mutant("D1", "command_line.cpp", OFF1, "the keep-input argument is ignored",
           "if (argc >= 4 && argv[3] != nullptr)", "if (argc > 4 && argv[3] != nullptr)"),
    Mutant("D2", "run_files.cpp", FLIP, "13 o'clock shown as a.m.",
           "const bool afternoon = t.hour >= 13;", "const bool afternoon = t.hour > 13;"),
    Mutant("D3", "driver_model.cpp", SKIP, "tool meshes are not turned to face upwards",
           "orient_tool_upwards(tool);", ""),
    Mutant("D4", "driver_solve.cpp", OFF1, "CONTRATX/CONTRATY node numbers kept 1-based",
           "for (int32_t& n : nodes) n -= 1;", "for (int32_t& n : nodes) n -= 0;"),
    Mutant("D5", "driver_output.cpp", SWAP, "final frame number with binder and flat-only flags exchanged",
           "final_frame_number(s.binder_flag, s.flat_blank_only, s.frame_number)",
           "final_frame_number(s.flat_blank_only, s.binder_flag, s.frame_number)"),
]

BACKUP_NAME = ".mutation_check_backup.json"


def folder_of(tree: Path, m: Mutant) -> str:
    path = locate(tree, m.file)
    return path.parent.name if path else "?"


def locate(tree: Path, basename: str):
    hits = [p for p in (tree / "src").rglob(basename) if p.is_file()]
    return hits[0] if len(hits) == 1 else None


def check_table(tree: Path):
    """Every mutant's file exists once under src/ and its fragment occurs exactly once."""
    problems = []
    ids = [m.id for m in MUTANTS]
    if len(set(ids)) != len(ids):
        problems.append("duplicate mutant ids")
    for m in MUTANTS:
        path = locate(tree, m.file)
        if path is None:
            problems.append(f"{m.id}: {m.file} not found exactly once under {tree / 'src'}")
            continue
        count = path.read_text().count(m.find)
        if count != 1:
            problems.append(f"{m.id}: fragment occurs {count} times in {path}")
    return problems


# ---------------------------------------------------------------- running

class Interrupted(Exception):
    pass


def on_signal(signum, frame):
    raise Interrupted(signal.Signals(signum).name)


def run_group(cmd, limit=None, log=None):
    """Runs cmd in its own process group; returns (returncode or None on timeout, output, seconds)."""
    start = time.monotonic()
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            start_new_session=True)
    try:
        out, _ = proc.communicate(timeout=limit)
        code = proc.returncode
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        out, _ = proc.communicate()
        code = None
    except BaseException:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        proc.wait()
        raise
    if log is not None:
        log.write(f"$ {' '.join(cmd)}\n{out}\n")
        log.flush()
    return code, out, time.monotonic() - start


def build_targets(build: Path, commands):
    """trevo and every program of the build folder that CTest runs (the test_* targets, not the
    benchmarks; a test run by an outside program such as python3 needs no target)."""
    built = {Path(c).name for c in commands.values() if Path(c).resolve().parent == build.resolve()}
    return ["trevo"] + sorted(built - {"trevo"})


def test_commands(build: Path):
    """CTest test name -> the program it runs (full path)."""
    code, out, _ = run_group(["ctest", "--test-dir", str(build), "--show-only=json-v1"])
    if code != 0:
        return {}
    try:
        data = json.loads(out[out.index("{"):])
    except ValueError:
        return {}
    return {t["name"]: t["command"][0] for t in data.get("tests", []) if t.get("command")}


FAILED_LINE = re.compile(r"Test\s+#\d+:\s+(\S+)\s+\.*\s*(\*\*\*\s*\w+|Failed|Exception: \w+|\*\*\*Timeout)", re.M)
FAILED_LIST = re.compile(r"^\s*\d+\s+-\s+(\S+)\s+\((Failed|Timeout|SEGFAULT|Subprocess aborted|Not Run|[^)]*)\)",
                         re.M)


def failed_tests(out: str):
    names = [m.group(1) for m in FAILED_LIST.finditer(out)]
    if not names:
        names = [m.group(1) for m in FAILED_LINE.finditer(out)]
    return list(dict.fromkeys(names))


class Checker:
    def __init__(self, args):
        self.tree = Path(args.tree).resolve()
        self.build = Path(args.build).resolve()
        self.jobs = args.jobs
        self.lock = args.lock
        self.log = open(self.build / "mutation_check.log", "a")
        self.cache = self.build / "e2e_cache"
        self.clear_cache = not self.cache_follows_binary()
        self.backup = self.build / BACKUP_NAME

    def cache_follows_binary(self):
        header = self.tree / "tests" / "e2e" / "validation_runs.h"
        return header.is_file() and re.search(r"file_stamp\(\s*TREVO_BINARY\s*\)", header.read_text()) is not None

    # -- backup of the file under mutation, so that even a killed run can be undone
    def restore_leftover(self):
        if not self.backup.is_file():
            return
        saved = json.loads(self.backup.read_text())
        Path(saved["path"]).write_text(saved["text"])
        self.backup.unlink()
        print(f"restored {saved['path']} left mutated by an earlier run", flush=True)

    def apply(self, path: Path, original: str, m: Mutant):
        self.backup.write_text(json.dumps({"path": str(path), "text": original}))
        path.write_text(original.replace(m.find, m.replace, 1))

    def restore(self, path: Path, original: str):
        # A new mtime (not the old one) makes the next build recompile the restored file.
        path.write_text(original)
        if self.backup.is_file():
            self.backup.unlink()

    def build_all(self, targets):
        cmd = ["cmake", "--build", str(self.build), "--parallel", str(self.jobs), "--target", *targets]
        if self.lock:
            cmd = ["flock", self.lock, *cmd]
        code, out, seconds = run_group(cmd, log=self.log)
        return code == 0, out, seconds

    def run_suite(self, limit, test_timeout, stop_on_failure=True):
        if self.clear_cache and self.cache.exists():
            shutil.rmtree(self.cache)
        cmd = ["ctest", "--test-dir", str(self.build), "-j", str(self.jobs), "--timeout", str(int(test_timeout))]
        if stop_on_failure:
            cmd.append("--stop-on-failure")
        code, out, seconds = run_group(cmd, limit=limit, log=self.log)
        return code, out, seconds


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tree", default=".", help="source tree (holds src/ and tests/)")
    parser.add_argument("--build", default="build", help="configured build directory of that tree")
    parser.add_argument("--timeout", type=float, default=None,
                        help="time limit in seconds for one mutant's test run (default: 3 x baseline + 120)")
    parser.add_argument("--only", default="", help="comma-separated mutant ids")
    parser.add_argument("--list", action="store_true", help="print the mutant table and exit")
    parser.add_argument("--jobs", type=int, default=2, help="parallel build and test jobs (default 2)")
    parser.add_argument("--lock", default=None, help="run each build under flock on this file")
    parser.add_argument("--markdown", default=None, help="also write the result table (Markdown) to this file")
    args = parser.parse_args()

    tree = Path(args.tree).resolve()
    mutants = MUTANTS
    if args.only:
        wanted = [s.strip() for s in args.only.split(",") if s.strip()]
        unknown = [w for w in wanted if w not in {m.id for m in MUTANTS}]
        if unknown:
            sys.exit(f"unknown mutant ids: {', '.join(unknown)}")
        mutants = [m for m in MUTANTS if m.id in wanted]

    if args.list:
        have_tree = (tree / "src").is_dir()
        for m in mutants:
            where = f"{folder_of(tree, m)}/{m.file}" if have_tree else m.file
            print(f"{m.id:4} {where:36} {m.kind:18} {m.description}")
        print(f"{len(mutants)} mutants")
        if have_tree:
            problems = check_table(tree)
            for p in problems:
                print("TABLE PROBLEM:", p)
            return 1 if problems else 0
        return 0

    problems = check_table(tree)
    if problems:
        print("\n".join(problems))
        sys.exit("the mutant table does not fit this tree")

    checker = Checker(args)
    signal.signal(signal.SIGINT, on_signal)
    signal.signal(signal.SIGTERM, on_signal)
    checker.restore_leftover()
    commands = test_commands(checker.build)
    if not commands:
        sys.exit(f"ctest lists no tests in {checker.build}: is it a configured and built tree?")
    programs = {name: Path(c).name for name, c in commands.items()}
    targets = build_targets(checker.build, commands)
    print(f"tree {tree}\nbuild {checker.build}\ntargets: {' '.join(targets)}", flush=True)
    print("e2e cache: " + ("keyed by the binary's mtime, kept" if not checker.clear_cache
                           else "not keyed by the binary, cleared before every run"), flush=True)
    started = time.monotonic()

    # Baseline: the unmutated tree must build and pass.
    ok, out, build_seconds = checker.build_all(targets)
    if not ok:
        print(out[-4000:])
        sys.exit("baseline build failed")
    # Every mutant reruns the end-to-end jobs (new binary), so time the baseline without the cache too.
    if checker.cache.exists():
        shutil.rmtree(checker.cache)
    code, out, base_seconds = checker.run_suite(None, 3600, stop_on_failure=False)
    if code != 0:
        failures = failed_tests(out)
        print(out[-3000:])
        sys.exit("baseline suite fails: " + (", ".join(failures) if failures else "see the ctest output above"))
    print(f"baseline: build {build_seconds:.0f} s, suite passes in {base_seconds:.0f} s", flush=True)
    limit = args.timeout if args.timeout else 3 * base_seconds + 120
    test_timeout = limit

    results = []
    try:
        for number, m in enumerate(mutants, 1):
            path = locate(tree, m.file)
            original = path.read_text()
            status, detail, b_sec, t_sec = "", "", 0.0, 0.0
            try:
                checker.apply(path, original, m)
                ok, out, b_sec = checker.build_all(targets)
                if not ok:
                    status, detail, t_sec = "invalid", "does not build", 0.0
                else:
                    code, out, t_sec = checker.run_suite(limit, test_timeout)
                    if code is None:
                        status, detail = "killed", f"suite exceeded {limit:.0f} s"
                    elif code != 0:
                        failures = failed_tests(out)
                        progs = list(dict.fromkeys(programs.get(f, "?") for f in failures))
                        status = "killed"
                        detail = (", ".join(progs) + ": " + ", ".join(failures[:3])) if failures else "ctest failed"
                    else:
                        status, detail = "survived", ""
            finally:
                checker.restore(path, original)
            results.append((m, status, detail))
            print(f"[{number:2}/{len(mutants)}] {m.id:4} {m.file:26} {m.kind:18} {status.upper():8} "
                  f"build {b_sec:4.0f} s, tests {t_sec:4.0f} s  {detail}", flush=True)
    except Interrupted as e:
        print(f"\ninterrupted ({e}); the mutated file was restored", flush=True)
    finally:
        # Leave the build matching the restored sources.
        checker.build_all(targets)

    valid = [r for r in results if r[1] != "invalid"]
    killed = [r for r in valid if r[1] == "killed"]
    survivors = [r[0].id for r in valid if r[1] == "survived"]
    invalid = [r[0].id for r in results if r[1] == "invalid"]
    total_minutes = (time.monotonic() - started) / 60
    print(f"\nkilled {len(killed)} / total {len(valid)}")
    print("survivors: " + (", ".join(survivors) if survivors else "none"))
    if invalid:
        print("invalid (did not build): " + ", ".join(invalid))
    print(f"baseline suite {base_seconds:.0f} s, whole check {total_minutes:.1f} min")

    if args.markdown:
        with open(args.markdown, "w") as f:
            f.write("| id | file | kind | result | caught by |\n|---|---|---|---|---|\n")
            for m, status, detail in results:
                f.write(f"| {m.id} | {folder_of(tree, m)}/{m.file} | {m.kind} | {status} | {detail} |\n")
            f.write(f"\nkilled {len(killed)} / total {len(valid)}\n")
    return 0 if not survivors else 2


if __name__ == "__main__":
    sys.exit(main())
