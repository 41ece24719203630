#!/usr/bin/python3
"""Stands in for trevo in trevo-batch's tests: same arguments, a run summary whose values depend on the input only.

`<base>.dat`'s line `$ fake key=value ...` says what to do: sleep=S, exit=N (no summary), signal=N,
status=stopped, ignore_term=1. Without the keep-input flag a complete run deletes `<base>.dat`. Every start
and end is appended to FAKE_TREVO_LOG as "start|end <base> <pid> <time>".
"""
import hashlib
import json
import os
import signal
import sys
import time


def log(event, base):
    with open(os.environ["FAKE_TREVO_LOG"], "a") as f:
        f.write(f"{event} {os.path.abspath(base)} {os.getpid()} {time.time():.6f}\n")


def write_summary(base, text, status, message):
    digest = hashlib.sha256(text).hexdigest()
    number = int(digest[:8], 16)
    summary = {"job": base, "input": {"sha256": digest}, "status": status, "message": message,
               "verdict": {"converged": number % 2 == 0, "hint_set": number % 4}, "iterations": number % 97,
               "adp": {"final": number / 7e12}, "blank": {"area_mm2": number % 100000 / 7.0},
               "phases_s": {"read": 0.01, "iterate": 0.25}}
    with open(base + ".summary.json.tmp", "w") as f:
        json.dump(summary, f)
    os.replace(base + ".summary.json.tmp", base + ".summary.json")


def main():
    base, keep = sys.argv[1], sys.argv[3] != "0"
    with open(base + ".dat", "rb") as f:
        text = f.read()
    do = dict(w.split("=") for line in text.decode().splitlines() if line.startswith("$ fake") for w in line.split()[2:])
    log("start", base)

    def interrupted(signum, frame):
        write_summary(base, text, "interrupted", "the run was interrupted")
        log("end", base)
        sys.exit(0)
    signal.signal(signal.SIGTERM, signal.SIG_IGN if do.get("ignore_term") else interrupted)
    time.sleep(float(do.get("sleep", 0)))
    if "signal" in do:
        os.kill(os.getpid(), int(do["signal"]))
    if "exit" in do:
        sys.exit(int(do["exit"]))
    status = do.get("status", "complete")
    if status == "complete" and not keep:
        os.remove(base + ".dat")
    write_summary(base, text, status, None if status == "complete" else "*** ERROR: fake stop")
    log("end", base)


if __name__ == "__main__":
    main()
