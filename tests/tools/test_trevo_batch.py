"""trevo-batch end to end: parallel runs, the table, resuming a killed batch, failing and hanging jobs (mostly fake_trevo.py)."""
import csv
import json
import os
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent
BATCH = HERE.parents[1] / "src" / "tools" / "trevo_batch.py"
VALIDATION = HERE.parents[2] / "shared" / "validation"


def make_jobs(folder, jobs):
    """jobs: {relative base: fake directives}; returns the .dat paths."""
    for rel, directives in jobs.items():
        (folder / rel).parent.mkdir(parents=True, exist_ok=True)
        (folder / (rel + ".dat")).write_text(f"$ fake {directives}\nCORTROL\n{rel}\n")
    return [folder / (rel + ".dat") for rel in jobs]


def batch(tmp_path, *args, binary=HERE / "fake_trevo.py", wait=True):
    env = dict(os.environ, FAKE_TREVO_LOG=str(tmp_path / "fake.log"), PYTHONDONTWRITEBYTECODE="1")
    command = [sys.executable, str(BATCH), "--binary", str(binary), *map(str, args)]
    if not wait:
        return subprocess.Popen(command, env=env, stderr=subprocess.PIPE, text=True)
    return subprocess.run(command, env=env, stderr=subprocess.PIPE, text=True, timeout=120)


def rows(csv_path):
    with open(csv_path, newline="") as f:
        return {row["job"]: row for row in csv.DictReader(f)}


def events(tmp_path, since=0):
    """[(event, base, pid, time)] written by the fake trevo."""
    log = tmp_path / "fake.log"
    lines = log.read_text().split() if log.exists() else []
    return [(e, b, int(p), float(t)) for e, b, p, t in zip(*[iter(lines)] * 4)][since:]


def alive(pid):
    try:
        return Path(f"/proc/{pid}/status").read_text().split("State:")[1].split()[0] != "Z"
    except (FileNotFoundError, IndexError):
        return False


FOLDER_JOBS = ["a", "b", "sub/c", "d/d", "sub/e"]


@pytest.mark.parametrize("in_place", [True, False])
def test_parallel_runs_give_the_sequential_table(tmp_path, in_place):
    inputs = make_jobs(tmp_path / "jobs", {rel: "sleep=0.5" for rel in FOLDER_JOBS})
    texts = [p.read_bytes() for p in inputs]
    tables, summaries = {}, {}
    for n in (1, 2):
        (tmp_path / "fake.log").unlink(missing_ok=True)
        work = ["--in-place"] if in_place else ["--work", tmp_path / f"copies{n}"]
        done = batch(tmp_path, tmp_path / "jobs", "-j", n, "--out", tmp_path / f"j{n}.csv", *work)
        assert done.returncode == 0, done.stderr
        tables[n] = (tmp_path / f"j{n}.csv").read_text()
        timeline = sorted((t, 1 if e == "start" else -1) for e, _, _, t in events(tmp_path))
        assert max(sum(s for _, s in timeline[:i + 1]) for i in range(len(timeline))) == n, timeline
        for rel in FOLDER_JOBS:  # a job alone in a folder of its name is named by the folder
            found = (tmp_path / "jobs" / rel if in_place else tmp_path / f"copies{n}" / rel.replace("d/d", "d")
                     / Path(rel).name).with_suffix(".summary.json")
            summaries[n, rel] = json.loads(found.read_text())
            if in_place:  # else the second batch would find the jobs complete
                found.unlink()
    assert [p.read_bytes() for p in inputs] == texts  # inputs are never deleted
    assert all(summaries[1, rel] == summaries[2, rel] for rel in FOLDER_JOBS)
    assert tables[1] == tables[2] and list(rows(tmp_path / "j2.csv")) == ["a", "b", "d", "sub/c", "sub/e"]
    assert {r["status"] for r in rows(tmp_path / "j2.csv").values()} == {"complete"}
    if not in_place:  # the gather of the copies gives the batch's table, byte for byte
        assert batch(tmp_path, "--gather", tmp_path / "copies2", "--out", tmp_path / "g.csv").returncode == 0
        assert (tmp_path / "g.csv").read_text() == tables[2]


COLUMNS = {"iterations": "iterations", "adp_final": "adp.final", "blank_area_mm2": "blank.area_mm2",
           "rect_length_mm": "blank.rectangle.length_mm", "max_thinning": "part.max_thinning",
           "fld_min_margin": "part.fld.min_margin", "punch_force_n": "forces.punch_n"}


def test_real_trevo_in_parallel_gives_the_sequential_summaries(tmp_path):
    binary = os.environ.get("TREVO_BINARY", str(HERE.parents[1] / "build" / "trevo"))
    names = ["plate", "cup", "channel", "cone"]
    parts = [VALIDATION / "generated" / f"{name}.dat" for name in names]
    assert all(p.is_file() for p in parts), "validation parts missing"
    summaries = {}
    for n in (1, 2):
        done = batch(tmp_path, *parts, "-j", n, "--out", tmp_path / f"r{n}.csv", binary=binary)
        assert done.returncode == 0, done.stderr
        table = rows(tmp_path / f"r{n}.csv")
        assert list(table) == names
        for name, row in table.items():
            summary = json.loads((tmp_path / f"r{n}.jobs" / name / f"{name}.summary.json").read_text())
            assert row["verdict"] == "converged", row
            for column, keys in COLUMNS.items():
                value = summary
                for key in keys.split("."):
                    value = value[key]
                assert float(row[column]) == value, (name, column, row[column], value)
            assert float(row["wall_s"]) == pytest.approx(sum(summary.pop("phases_s").values()), abs=1e-3)
            summaries[n, name] = summary
    assert all(summaries[1, name] == summaries[2, name] for name in names)


@pytest.mark.parametrize("stop", [signal.SIGTERM, signal.SIGKILL])
def test_a_stopped_batch_called_again_runs_only_the_rest(tmp_path, stop):
    names = [f"job{i}" for i in range(6)]
    make_jobs(tmp_path / "jobs", {name: "sleep=0.8" for name in names})
    args = (tmp_path / "jobs", "-j", 2, "--out", tmp_path / "t.csv", "--work", tmp_path / "work")
    first, deadline = batch(tmp_path, *args, wait=False), time.time() + 60
    while sum(e == "end" for e, *_ in events(tmp_path)) < 2 and time.time() < deadline:
        time.sleep(0.05)
    first.send_signal(stop)
    first.wait(timeout=30)
    assert first.returncode == (1 if stop == signal.SIGTERM else -signal.SIGKILL)
    time.sleep(0.2)
    assert not [pid for _, _, pid, _ in events(tmp_path) if alive(pid)], "a run outlived the batch"
    complete = {Path(b).name for e, b, *_ in events(tmp_path) if e == "end" and
                json.loads(Path(b + ".summary.json").read_text())["status"] == "complete"}
    assert 2 <= len(complete) < 6
    if stop == signal.SIGTERM:  # the table says what became of each job
        statuses = {r["status"] for r in rows(tmp_path / "t.csv").values()}
        assert "complete" in statuses and statuses <= {"complete", "interrupted", "not-run"}
    before = len(events(tmp_path))
    assert batch(tmp_path, *args).returncode == 0
    assert {Path(b).name for e, b, *_ in events(tmp_path, before) if e == "start"} == set(names) - complete
    assert [r["status"] for r in rows(tmp_path / "t.csv").values()] == ["complete"] * 6


FAILING = [  # job, fake directives, status in the table, words of the message
    ("ok", "sleep=0.1", "complete", ""),
    ("stopped", "status=stopped", "stopped", "*** ERROR: fake stop"),
    ("exits", "exit=3", "failed", "exit status 3"),
    ("crashes", "signal=11", "failed", "killed by signal 11"),
    ("hangs", "sleep=100", "timeout", "time limit of 1.5 s"),
    ("hangs_deaf", "sleep=100 ignore_term=1", "timeout", "time limit of 1.5 s"),
    ("ok_after", "", "complete", ""),
]


def test_failing_and_hanging_jobs_get_their_row_and_do_not_stop_the_others(tmp_path):
    inputs = make_jobs(tmp_path / "jobs", {name: directives for name, directives, _, _ in FAILING})
    args = (*inputs, "-j", 2, "--timeout", 1.5, "--kill-grace", 0.5, "--out", tmp_path / "f.csv", "--work", tmp_path / "w")
    started = time.time()
    assert batch(tmp_path, *args).returncode == 1 and time.time() - started < 30
    table = rows(tmp_path / "f.csv")
    assert [(n, r["status"], w in r["message"]) for n, r, (_, _, _, w) in zip(table, table.values(), FAILING)] == \
        [(n, s, True) for n, _, s, _ in FAILING]
    assert table["ok"]["verdict"] in ("converged", "not converged") and table["ok"]["iterations"]
    assert not [pid for _, _, pid, _ in events(tmp_path) if alive(pid)]
    # called again, only the incomplete jobs run; an input that changed runs again too
    inputs[0].write_text(inputs[0].read_text() + "* changed\n")
    before = len(events(tmp_path))
    batch(tmp_path, *args)
    again = {Path(b).name for e, b, *_ in events(tmp_path, before) if e == "start"}
    assert again == {name for name, _, status, _ in FAILING if status != "complete"} | {"ok"}


@pytest.mark.parametrize("jobs, words", [({"x/p": "", "y/p": ""}, "two jobs named p"), ({}, "neither a .dat file nor a folder")])
def test_usage_errors_run_nothing(tmp_path, jobs, words):
    done = batch(tmp_path, *(make_jobs(tmp_path / "jobs", jobs) or [tmp_path / "missing.dat"]), "--out", tmp_path / "u.csv")
    assert (done.returncode, words in done.stderr, events(tmp_path)) == (2, True, [])
