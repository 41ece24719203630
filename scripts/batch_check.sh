#!/usr/bin/env bash
# Runs a folder of jobs (default: the 33 validation jobs) twice through trevo-batch: once one
# after the other, once with two at a time, killed with SIGKILL when half of the jobs are done
# and then called again. Checks that the second call runs only the jobs not yet complete and
# that both ways give the same summaries (time stamps, timings and paths left out) and a table
# of one row per job.
#
#     scripts/batch_check.sh [JOBS_FOLDER] [OUT_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${1:-../shared/validation}
out=${2:-/tmp/trevo_batch_check}
batch=src/tools/trevo_batch.py
binary=$out/trevo  # a copy: a rebuild during the check must not change the runs
rm -rf "$out" && mkdir -p "$out" && cp build/trevo "$binary"
count=$(find "$jobs" -name '*.dat' | wc -l)
echo "$count jobs in $jobs"

SECONDS=0
/usr/bin/python3 $batch "$jobs" -j 1 --out "$out/sequential.csv" --binary "$binary" > /dev/null 2>&1 || true
echo "sequential: ${SECONDS} s"

SECONDS=0
/usr/bin/python3 $batch "$jobs" -j 2 --out "$out/parallel.csv" --binary "$binary" > /dev/null 2>&1 &
batch_pid=$!
complete() { grep -l '"status": "complete"' -r "$out/parallel.jobs" --include='*.summary.json' 2>/dev/null | wc -l; }
until [ "$(complete)" -ge $((count / 2)) ] || ! kill -0 $batch_pid 2>/dev/null; do sleep 1; done
kill -KILL $batch_pid 2>/dev/null || true
wait $batch_pid 2>/dev/null || true
done_before=$(complete)
echo "killed after ${SECONDS} s with $done_before jobs complete"
/usr/bin/python3 $batch "$jobs" -j 2 --out "$out/parallel.csv" --binary "$binary" 2> "$out/resume.log" > /dev/null || true
echo "resumed: ${SECONDS} s in all"

/usr/bin/python3 - "$out" "$count" "$done_before" <<'EOF'
import csv, json, pathlib, re, sys
out, count, done_before = pathlib.Path(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
VARYING = {"phases_s", "job", "input", "files", "wall_s", "started", "finished", "date"}

def summaries(folder):
    found = {}
    for path in folder.rglob("*.summary.json"):
        data = json.loads(path.read_text())
        found[str(path.relative_to(folder))] = {k: v for k, v in data.items() if k not in VARYING}
    return found

sequential, parallel = summaries(out / "sequential.jobs"), summaries(out / "parallel.jobs")
differ = sorted(k for k in sequential if sequential[k] != parallel.get(k))
rows = {name: list(csv.DictReader(open(out / f"{name}.csv"))) for name in ("sequential", "parallel")}
log = (out / "resume.log").read_text()
skipped = log.count("complete already, not run again")
print(f"summaries: {len(sequential)} sequential, {len(parallel)} parallel, {len(differ)} differ {differ}")
print(f"second call: {skipped} complete jobs not run again, {done_before} complete before it")
print(f"table rows: {len(rows['sequential'])} sequential, {len(rows['parallel'])} parallel")
ok = len(sequential) == len(parallel) == count and not differ and len(rows["parallel"]) == count
ok = ok and skipped == done_before
print("batch check:", "passed" if ok else "FAILED")
sys.exit(0 if ok else 1)
EOF
