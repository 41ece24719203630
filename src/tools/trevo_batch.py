#!/usr/bin/python3
"""trevo-batch: runs many trevo jobs in parallel and gathers their run summaries into one CSV table.

    trevo-batch JOBS... -j N --out results.csv [--timeout SECONDS] [--binary PATH]
                [--work DIR | --in-place] [--work-size THOUSANDS]
    trevo-batch --gather FOLDER [--task-list FILE] --out results.csv
    trevo-batch --list JOBS... [--work DIR]             # the job list a cluster array works through
    trevo-batch --task-list FILE --task K --work DIR    # run the K-th job of that list (one array task)

A job is a `<base>.dat` keyword file; a folder stands for every `.dat` file below it. Each job
runs in its own copy folder `<work>/<job>/` (default work folder: the CSV's name with `.jobs`
instead of `.csv`), or beside its input with --in-place; trevo always gets the keep-input
flag, so no input file is ever deleted. A job whose run summary says "complete" for an input
with the same sha256 is not run again, so calling the same command after an interruption
finishes only the rest. Exit status: 0 when every job is complete, 1 otherwise, 2 for a
usage error.
"""
import argparse
import csv
import ctypes
import hashlib
import io
import json
import os
import shutil
import signal
import subprocess
import sys
import time
from collections import deque
from pathlib import Path

try:
    from tqdm import tqdm
except ImportError:  # the progress bar is optional; one line per finished job is printed anyway
    tqdm = None

SUMMARY_SUFFIX = ".summary.json"
POLL_S = 0.05

# One CSV column per quantity: (header, path of keys into the summary).
SUMMARY_COLUMNS = [
    ("hint_set", ("verdict", "hint_set")),
    ("iterations", ("iterations",)),
    ("adp_final", ("adp", "final")),
    ("maxp_n", ("maxp", "final")),
    ("maxp_node", ("maxp", "node")),
    ("blank_area_mm2", ("blank", "area_mm2")),
    ("weight_kg", ("blank", "weight_kg")),
    ("rect_length_mm", ("blank", "rectangle", "length_mm")),
    ("rect_width_mm", ("blank", "rectangle", "width_mm")),
    ("rect_angle_deg", ("blank", "rectangle", "angle_deg")),
    ("utilisation", ("blank", "utilisation")),
    ("min_thickness_mm", ("part", "min_thickness_mm")),
    ("max_thinning", ("part", "max_thinning")),
    ("fld_min_margin", ("part", "fld", "min_margin")),
    ("punch_force_n", ("forces", "punch_n")),
    ("holder_force_n", ("forces", "holder_n")),
]
COLUMNS = ["job", "status", "verdict"] + [c for c, _ in SUMMARY_COLUMNS] + ["wall_s", "message"]


class UsageError(Exception):
    pass


# ---- jobs and where they run ----------------------------------------------------------------

def job_name(relative_base):
    """`a/b/part` -> `a/b/part`, but `a/part/part` -> `a/part`: a job alone in a folder named
    after it is known by the folder. The same rule names a job from its input and from the
    summary in its copy folder, so a batch and a later gather give the same names."""
    parts = list(Path(relative_base).parts)
    if len(parts) >= 2 and parts[-1] == parts[-2]:
        parts.pop()
    return "/".join(parts)


def find_jobs(arguments, skip_below=None):
    """[(name, absolute .dat path)] in argument order, each folder's files sorted by path."""
    jobs = []
    for argument in arguments:
        path = Path(argument)
        if path.is_dir():
            found = sorted(p for p in path.rglob("*.dat") if p.is_file() and
                           not (skip_below and skip_below in p.resolve().parents))
            if not found:
                raise UsageError(f"{argument}: no .dat file in this folder")
            jobs += [(job_name(p.relative_to(path).with_suffix("")), p.resolve()) for p in found]
        elif path.is_file() and path.suffix == ".dat":
            jobs.append((path.stem, path.resolve()))
        else:
            raise UsageError(f"{argument}: neither a .dat file nor a folder")
    seen = {}
    for name, dat in jobs:
        if name in seen:
            raise UsageError(f"two jobs named {name}: {seen[name]} and {dat}")
        seen[name] = dat
    return jobs


def run_base(name, dat, work):
    """Base path of the run: `<work>/<job>/<stem>` for a copy, the input's own base in place."""
    return (work / name / dat.stem) if work else dat.with_suffix("")


def summary_path(base):
    return base.parent / (base.name + SUMMARY_SUFFIX)


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def read_summary(path):
    """The summary as a dict, or None when it is missing or unreadable (a run killed mid-write
    leaves only the `.tmp` file, which is never read)."""
    try:
        with open(path, encoding="utf-8") as f:
            summary = json.load(f)
        return summary if isinstance(summary, dict) else None
    except (OSError, ValueError):
        return None


def is_complete_for(summary, dat):
    return (summary is not None and summary.get("status") == "complete" and
            (summary.get("input") or {}).get("sha256") == sha256_of(dat))


def prepare_run(base, dat, in_place):
    """Clears what an earlier run of this job left, so that a summary found after the run is
    this run's own; a copy gets a fresh copy of the input."""
    if in_place:
        for leftover in (summary_path(base), Path(str(summary_path(base)) + ".tmp")):
            leftover.unlink(missing_ok=True)
        return
    base.parent.mkdir(parents=True, exist_ok=True)
    for old in base.parent.iterdir():  # subfolders belong to other jobs
        if old.is_file() or old.is_symlink():
            old.unlink()
    shutil.copy2(dat, base.parent / (base.name + ".dat"))


# ---- the table ------------------------------------------------------------------------------

def cell(value):
    if value is None or isinstance(value, (dict, list)):
        return ""
    if isinstance(value, bool):
        return "true" if value else "false"
    return repr(value) if isinstance(value, float) else str(value)


def dig(summary, keys):
    for key in keys:
        if not isinstance(summary, dict):
            return None
        summary = summary.get(key)
    return summary


def table_row(name, summary, status=None, message=None, wall_s=None):
    """One CSV row from a summary (None for a job that left none); status and message, when
    given, replace the summary's (a time limit, a crash). The wall time is the run's own, the
    sum of its phases, so a gather gives what the batch gave; without a summary it is the
    batch's measurement."""
    row = {"job": name, "status": status or dig(summary, ("status",)) or "no-summary",
           "message": message if message is not None else dig(summary, ("message",))}
    converged = dig(summary, ("verdict", "converged"))
    row["verdict"] = {True: "converged", False: "not converged"}.get(converged)
    for column, keys in SUMMARY_COLUMNS:
        row[column] = dig(summary, keys)
    phases = dig(summary, ("phases_s",))
    if isinstance(phases, dict) and phases:
        wall_s = sum(v for v in phases.values() if isinstance(v, (int, float)))
    row["wall_s"] = None if wall_s is None else round(float(wall_s), 3)
    return {k: cell(v) for k, v in row.items()}


def write_table(rows, out):
    """Writes the CSV next to its final place, then renames it: a reader never sees half a table."""
    text = io.StringIO()
    writer = csv.DictWriter(text, fieldnames=COLUMNS, lineterminator="\n")
    writer.writeheader()
    writer.writerows(rows)
    out.parent.mkdir(parents=True, exist_ok=True)
    tmp = out.parent / (out.name + ".tmp")
    tmp.write_text(text.getvalue(), encoding="utf-8")
    os.replace(tmp, out)


# ---- running ----------------------------------------------------------------------------------

LIBC = ctypes.CDLL(None, use_errno=True)
PR_SET_PDEATHSIG = 1


def die_with_parent(parent=os.getpid()):
    """Runs in the child before trevo starts: the kernel kills the run when the batch process
    dies, even by SIGKILL, so no orphan keeps writing into a folder a later batch reuses."""
    LIBC.prctl(PR_SET_PDEATHSIG, signal.SIGKILL)
    if os.getppid() != parent:  # the batch died before the request took effect
        os._exit(1)


def signal_group(proc, sig):
    try:
        os.killpg(proc.pid, sig)
    except ProcessLookupError:
        pass


class Run:
    def __init__(self, name, dat, base, proc, limit):
        self.name, self.dat, self.base, self.proc, self.limit = name, dat, base, proc, limit
        self.start = time.monotonic()
        self.deadline = self.start + limit if limit else None
        self.term_at = None


def start_run(name, dat, base, options, env):
    with open(base.parent / (base.name + ".console.txt"), "wb") as console:
        proc = subprocess.Popen(
            [options.binary, base.name, str(options.work_size), "1"], cwd=base.parent,
            stdin=subprocess.DEVNULL, stdout=console, stderr=subprocess.STDOUT, env=env,
            start_new_session=True, preexec_fn=die_with_parent)
    return Run(name, dat, base, proc, options.timeout)


def finish_run(run, batch_stopped=False):
    """The table row of a run whose process has ended."""
    signal_group(run.proc, signal.SIGKILL)  # anything trevo left in its group
    rc = run.proc.returncode
    wall = time.monotonic() - run.start
    summary = read_summary(summary_path(run.base))
    timed_out = run.term_at is not None and run.deadline is not None and run.term_at >= run.deadline
    if timed_out and dig(summary, ("status",)) != "complete":  # complete just before the limit
        row = table_row(run.name, summary, "timeout", f"time limit of {run.limit:g} s reached")
        row["wall_s"] = cell(round(wall, 3))  # the time the run was given, not its phases so far
        return row
    if summary is None and batch_stopped:
        return table_row(run.name, None, "interrupted", "the batch was stopped before trevo wrote a summary", wall)
    if summary is None:
        how = f"killed by signal {-rc}" if rc < 0 else f"ended with exit status {rc}"
        return table_row(run.name, None, "failed", f"trevo {how} and left no run summary", wall)
    return table_row(run.name, summary, wall_s=wall)


def thread_environment(parallel):
    """Splits the machine's cores between the runs (trevo's element loops use OpenMP threads),
    unless the caller chose OMP_NUM_THREADS."""
    env = dict(os.environ)
    if "OMP_NUM_THREADS" not in env:
        cores = int(env.get("SLURM_CPUS_PER_TASK") or len(os.sched_getaffinity(0)))
        env["OMP_NUM_THREADS"] = str(max(1, cores // parallel))
    return env


def report(progress, text):
    if progress is not None:
        progress.write(text, file=sys.stderr)
    else:
        print(text, file=sys.stderr, flush=True)


def describe(row):
    text = f"{row['job']}: {row['status']}"
    if row["verdict"]:
        text += f", {row['verdict']}, {row['iterations'] or '?'} iterations"
    if row["status"] != "complete" and row["message"]:
        text += f" ({row['message']})"
    return text


STOP_REQUEST = []  # the signal that asks the batch to stop, once one came


def request_stop(signum, frame):
    STOP_REQUEST.append(signum)


def run_jobs(jobs, options):
    """Runs the jobs, at most options.jobs at a time; returns their rows in job order. On
    SIGTERM, SIGINT or SIGHUP the running jobs get SIGTERM (trevo then writes an "interrupted"
    summary), jobs not started get the status "not-run", and no new job starts."""
    rows = {}
    todo = deque()
    for name, dat in jobs:
        base = run_base(name, dat, options.work)
        summary = read_summary(summary_path(base))
        if is_complete_for(summary, dat):
            rows[name] = table_row(name, summary)
            report(None, f"{name}: complete already, not run again")
        else:
            todo.append((name, dat, base))
    # Largest inputs first: the longest runs start early instead of ending the batch alone.
    todo = deque(sorted(todo, key=lambda job: -job[1].stat().st_size))
    env = thread_environment(options.jobs)
    progress = tqdm(total=len(todo), file=sys.stderr, unit="job") if tqdm and sys.stderr.isatty() and todo else None
    running = []
    while (todo or running) and not STOP_REQUEST:
        while todo and len(running) < options.jobs:
            name, dat, base = todo.popleft()
            prepare_run(base, dat, options.work is None)
            running.append(start_run(name, dat, base, options, env))
        time.sleep(POLL_S)
        now = time.monotonic()
        for run in list(running):
            if run.proc.poll() is not None:
                running.remove(run)
                rows[run.name] = finish_run(run)
                report(progress, describe(rows[run.name]))
                if progress is not None:
                    progress.update()
            elif run.deadline and now > run.deadline and run.term_at is None:
                run.term_at = now
                signal_group(run.proc, signal.SIGTERM)
            elif run.term_at is not None and now > run.term_at + options.kill_grace:
                signal_group(run.proc, signal.SIGKILL)
    if progress is not None:
        progress.close()
    if STOP_REQUEST:
        for run in running:
            signal_group(run.proc, signal.SIGTERM)
        end = time.monotonic() + options.kill_grace
        for run in running:
            while run.proc.poll() is None and time.monotonic() < end:
                time.sleep(POLL_S)
            if run.proc.poll() is None:
                signal_group(run.proc, signal.SIGKILL)
                run.proc.wait()
            rows[run.name] = finish_run(run, batch_stopped=True)
        for name, _, _ in todo:
            rows[name] = table_row(name, None, "not-run", "the batch was stopped before this job started")
        report(None, f"trevo-batch: stopped by signal {STOP_REQUEST[0]}")
    return [rows[name] for name, _ in jobs]


def gather(folder, task_list):
    """Rows from every summary below the folder, sorted by job; with a job list, in its order,
    and a job that left no summary gets a row saying so."""
    found = {job_name(p.relative_to(folder).with_name(p.name[:-len(SUMMARY_SUFFIX)])): p
             for p in folder.rglob("*" + SUMMARY_SUFFIX) if p.is_file()}
    names = [name for name, _ in read_task_list(task_list)] if task_list else sorted(found)
    return [table_row(name, read_summary(found[name])) if name in found
            else table_row(name, None, "no-summary", "no run summary was found for this job")
            for name in names]


def read_task_list(path):
    jobs = []
    for line in Path(path).read_text(encoding="utf-8").splitlines():
        if line.strip():
            name, dat = line.split("\t")
            jobs.append((name, Path(dat)))
    return jobs


def find_binary(given):
    here = Path(__file__).parent
    candidates = [given, os.environ.get("TREVO_BINARY"), here / "trevo",
                  here.resolve().parent.parent / "build" / "trevo", shutil.which("trevo")]
    for candidate in candidates:
        if candidate and Path(candidate).is_file() and os.access(candidate, os.X_OK):
            return str(Path(candidate).resolve())
    if given:
        raise UsageError(f"{given}: not an executable file")
    raise UsageError("trevo binary not found: give --binary PATH or set TREVO_BINARY")


def parse(argv):
    p = argparse.ArgumentParser(prog="trevo-batch", description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("inputs", nargs="*", metavar="JOBS", help=".dat files or folders of them")
    p.add_argument("-j", "--jobs", type=int, default=1, metavar="N", help="runs at the same time (default 1)")
    p.add_argument("--out", type=Path, metavar="CSV", help="table to write (one row per job)")
    p.add_argument("--timeout", type=float, metavar="SECONDS", help="time limit per run in seconds (SIGTERM, then SIGKILL)")
    p.add_argument("--kill-grace", type=float, default=5.0, metavar="SECONDS",
                   help="time between SIGTERM and SIGKILL, for the run to write its summary (default 5)")
    p.add_argument("--binary", metavar="PATH", help="trevo program (default: TREVO_BINARY, then build/trevo)")
    p.add_argument("--work", type=Path, metavar="DIR", help="folder of the runs' copy folders (default: <out>.jobs)")
    p.add_argument("--in-place", action="store_true", help="run each job beside its input")
    p.add_argument("--work-size", type=int, default=20000, metavar="THOUSANDS", help="trevo's work size in thousands of words")
    p.add_argument("--gather", type=Path, metavar="FOLDER", help="only gather the summaries below FOLDER")
    p.add_argument("--list", action="store_true", help="print the job list (name TAB input) and exit")
    p.add_argument("--task-list", type=Path, metavar="FILE", help="job list written by --list")
    p.add_argument("--task", type=int, metavar="K", help="run only the K-th job (from 1) of --task-list")
    options = p.parse_args(argv)
    if options.jobs < 1:
        p.error("-j must be at least 1")
    if options.timeout is not None and options.timeout <= 0:
        p.error("--timeout must be positive")
    if options.in_place and options.work:
        p.error("--in-place and --work exclude each other")
    return options, options.inputs, p


def main(argv=None):
    options, arguments, parser = parse(sys.argv[1:] if argv is None else argv)
    try:
        if options.gather:
            if not options.out:
                parser.error("--gather needs --out")
            rows = gather(options.gather, options.task_list)
            write_table(rows, options.out)
            return 0 if rows and all(r["status"] == "complete" for r in rows) else 1
        if options.list:
            for name, dat in find_jobs(arguments, options.work and options.work.resolve()):
                print(f"{name}\t{dat}")
            return 0
        if not options.in_place and options.work is None:
            if not options.out:
                parser.error("give --out (the work folder is named after it), --work or --in-place")
            options.work = options.out.with_suffix(".jobs")
        if options.work:
            options.work = options.work.resolve()
        if options.task is not None:
            if not options.task_list:
                parser.error("--task needs --task-list")
            jobs = read_task_list(options.task_list)
            if not 1 <= options.task <= len(jobs):
                raise UsageError(f"--task {options.task}: the list has {len(jobs)} jobs")
            jobs = [jobs[options.task - 1]]
        else:
            if not arguments or not options.out:
                parser.error("give the jobs and --out")
            jobs = find_jobs(arguments, options.work)
        options.binary = find_binary(options.binary)
        for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            signal.signal(sig, request_stop)
        rows = run_jobs(jobs, options)
        if options.out:
            write_table(rows, options.out)
        done = sum(r["status"] == "complete" for r in rows)
        report(None, f"{done} of {len(rows)} jobs complete" + (f"; table: {options.out}" if options.out else ""))
        return 0 if done == len(rows) else 1
    except UsageError as error:
        print(f"trevo-batch: {error}", file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main())
