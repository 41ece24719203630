#!/usr/bin/env bash
# Result integrity under faults, on the cup of examples/cup:
#   writes   every checked write call made to fail in turn (TREVO_FAIL_WRITE_AT=k): the run
#            must end with exit status 2, "trevo: cannot write <file>: ..." on the console and
#            no "complete" summary; the first k past the last write gives a complete run;
#   signals  SIGINT and SIGTERM during the run: exit status 130 / 143, the interruption
#            message and an "interrupted" summary;
#   kills    SIGKILL at a random moment, then the same job again undisturbed: its results
#            must equal those of an undisturbed run (time stamps aside); a killed run may
#            leave a "complete" summary only beside complete results (killed after it);
#   diskfull the job on a 2 MB tmpfs (needs root and mount; said so when unavailable).
# Usage: scripts/fault_check.sh [--kills N] [--write-stride S] [--trevo PATH] [writes|signals|kills|diskfull ...]
# (--write-stride S fails only the write calls 1, 1+S, 1+2S, ...: a quicker slice for CI).
# Prints one line per check and "fault_check: N passed, M failed"; exits non-zero on a failure.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
trevo=$here/build/trevo
kills=50
stride=1
checks=()
while [[ $# -gt 0 ]]; do
  case $1 in
    --kills) kills=$2; shift 2 ;;
    --write-stride) stride=$2; shift 2 ;;
    --trevo) trevo=$2; shift 2 ;;
    *) checks+=("$1"); shift ;;
  esac
done
[[ ${#checks[@]} -eq 0 ]] && checks=(writes signals kills diskfull)
job=$here/examples/cup/cup.dat
work=$(mktemp -d /tmp/trevo_fault_XXXXXX)
trap 'umount "$work/full" 2>/dev/null; rm -rf "$work"' EXIT
cp "$trevo" "$work/trevo" && trevo=$work/trevo  # a rebuild during the checks cannot disturb them
passed=0
failed=0
ok() { passed=$((passed + 1)); echo "ok: $*"; }
bad() { failed=$((failed + 1)); echo "FAILED: $*" >&2; }

# status <dir>: the summary's status, "none" without a summary.
status() {
  local f=$1/cup.summary.json
  [[ -f $f ]] || { echo none; return; }
  /usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["status"])' "$f"
}
# fresh <dir>: an empty job folder with the input.
fresh() { rm -rf "$1"; mkdir -p "$1"; cp "$job" "$1/cup.dat"; }
# run <dir> [env...]: the job (input kept), console into <dir>/console; sets rc.
run() {
  local dir=$1; shift
  (cd "$dir" && env "$@" "$trevo" cup 20000 1 > console 2>&1)
  rc=$?
}
# digest <dir>: checksums of the result files without their time stamps and of the summary's
# results (its phase times aside).
digest() {
  local dir=$1 f
  for f in "$dir"/cup.OUT "$dir"/cup.dynain "$dir"/cup.lin "$dir"/cup_Blank.nas "$dir"/cup_fl.lin \
           "$dir"/cup.vtu "$dir"/cup_blank.dxf "$dir"/cup_3D.lin "$dir"/cup.QLT; do
    [[ -f $f ]] || { echo "$(basename "$f") absent"; continue; }
    echo "$(basename "$f") $(grep -avE 'D A T E|TIME\(|[0-9]{1,2}/[0-9]{2}/[0-9]{4}|[0-9]+:[0-9]{2}:[0-9]{2}' "$f" | sha256sum)"
  done
  /usr/bin/python3 -c 'import json,sys; s=json.load(open(sys.argv[1])); s.pop("phases_s"); print(json.dumps(s))' \
    "$dir/cup.summary.json" | sha256sum
}

check_writes() {
  local dir=$work/writes k
  for ((k = 1; k < 1000; k += stride)); do
    fresh "$dir"
    run "$dir" TREVO_FAIL_WRITE_AT=$k
    if [[ $rc -eq 0 ]]; then
      [[ $(status "$dir") == complete && $k -gt 10 ]] && ok "writes: the write calls 1 to $((k - 1)), every ${stride}, each failed in turn" ||
        bad "writes: run with k=$k ended with status 0 but summary $(status "$dir")"
      return
    fi
    local st
    st=$(status "$dir")
    if [[ $rc -ne 2 ]] || ! grep -q '^trevo: cannot write cup[^:]*: injected write failure' "$dir/console" ||
       [[ $st == complete ]]; then
      bad "writes: k=$k exit $rc summary $st: $(grep trevo: "$dir/console")"
      return
    fi
  done
  bad "writes: no complete run within 1000 write calls"
}

check_signals() {
  local dir=$work/signals sig pid
  for sig in INT TERM; do
    fresh "$dir"
    (cd "$dir" && exec "$trevo" cup 20000 1 > console 2>&1) &
    pid=$!
    sleep 0.15  # the run takes half a second or more: the signal comes while it reads, unfolds or iterates
    kill -s "$sig" "$pid"
    wait "$pid"
    rc=$?
    local want=$((128 + $(kill -l "$sig")))
    if [[ $rc -eq $want && $(status "$dir") == interrupted ]] &&
       grep -q "^trevo: interrupted by signal $((want - 128)); results are incomplete" "$dir/console" &&
       grep -q "^trevo: interrupted by signal" "$dir/cup.OUT"; then
      ok "signals: SIG$sig gives exit $rc and an interrupted summary"
    else
      bad "signals: SIG$sig: exit $rc (want $want), summary $(status "$dir"), console: $(tail -2 "$dir/console")"
    fi
  done
}

check_kills() {
  local ref=$work/reference dir=$work/killed trial pid delay
  fresh "$ref"
  run "$ref"
  [[ $rc -eq 0 && $(status "$ref") == complete ]] || { bad "kills: the undisturbed run failed ($rc)"; return; }
  local expected
  expected=$(digest "$ref")
  fresh "$dir"
  run "$dir"  # a complete run first: its summary must not survive a killed rerun
  local stale=0 differ=0
  for ((trial = 1; trial <= kills; ++trial)); do
    delay=$(/usr/bin/python3 -c 'import random; print(round(random.uniform(0.0, 1.6), 3))')
    (cd "$dir" && exec "$trevo" cup 20000 1 > console 2>&1) &
    pid=$!
    sleep "$delay"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    rc=$?
    # A killed run (137) may say complete only when it got past its summary (the summary is
    # written last): its results must then be those of the undisturbed run.
    if [[ $rc -eq 137 && $(status "$dir") == complete && "$(digest "$dir")" != "$expected" ]]; then
      stale=$((stale + 1))
    fi
    run "$dir"
    [[ $rc -eq 0 && "$(digest "$dir")" == "$expected" ]] || { differ=$((differ + 1)); echo "trial $trial (kill after ${delay}s) differs" >&2; }
  done
  [[ $stale -eq 0 ]] && ok "kills: no killed run left a complete summary beside other results ($kills trials)" ||
    bad "kills: $stale killed runs left a complete summary beside other results"
  [[ $differ -eq 0 ]] && ok "kills: every rerun after SIGKILL equals the undisturbed run ($kills trials)" ||
    bad "kills: $differ reruns differ from the undisturbed run"
}

check_diskfull() {
  local dir=$work/full
  mkdir -p "$dir"
  if ! mount -t tmpfs -o size=2m tmpfs "$dir" 2>/dev/null; then
    echo "diskfull: skipped: mount -t tmpfs is not permitted here (needs root)"
    return
  fi
  cp "$job" "$dir/cup.dat" 2>/dev/null || true
  if [[ ! -s $dir/cup.dat ]]; then
    cp "$job" "$work/cup.dat"  # the input itself does not fit: read it from outside
    bad "diskfull: the input does not fit on the 2 MB tmpfs"
    umount "$dir"
    return
  fi
  run "$dir"
  if [[ $rc -eq 2 && $(status "$dir") != complete ]] &&
     grep -q '^trevo: cannot write cup[^:]*: ' "$dir/console"; then
    ok "diskfull: a full disk gives exit 2, \"$(grep '^trevo:' "$dir/console")\", summary $(status "$dir")"
  else
    bad "diskfull: exit $rc, summary $(status "$dir"), console: $(tail -2 "$dir/console")"
  fi
  umount "$dir"
}

for c in "${checks[@]}"; do "check_$c"; done
echo "fault_check: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
