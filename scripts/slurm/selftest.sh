#!/usr/bin/env bash
# Starts a one-node Slurm cluster on this machine (MUNGE and the Slurm daemons with a private
# socket, free ports, state and logs in a temporary folder), submits four small jobs through
# scripts/slurm/submit.sh, and checks the four run summaries and the gathered table against a
# local trevo-batch run of the same jobs. Needs root and the packages slurm-wlm and munge
# (scripts/setup.sh installs them). The daemons are stopped by their pid files at the end.
#   scripts/slurm/selftest.sh [trevo binary]          (default: $TREVO_BINARY, then build/trevo)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
TREVO_BINARY=$(realpath "${1:-${TREVO_BINARY:-$root/build/trevo}}")
export TREVO_BINARY
export TREVO_BATCH=$root/src/tools/trevo_batch.py
parts=$root/../shared/validation/generated
names=(plate cup channel cone)

fail() { echo "slurm selftest: FAILED: $*" >&2; exit 1; }
[[ $(id -u) -eq 0 ]] || fail "needs root: slurmd starts each task as the user who submitted it"
for tool in munged slurmctld slurmd sbatch sinfo squeue; do
  command -v "$tool" > /dev/null || fail "$tool is missing (apt-get install slurm-wlm munge)"
done
[[ -x $TREVO_BINARY ]] || fail "no trevo binary at $TREVO_BINARY"

tmp=$(mktemp -d /tmp/trevo-slurm.XXXXXX)
chmod 755 "$tmp"  # munged wants every folder above its socket searchable by all
finish() {
  local status=$?
  local daemon pid end
  for daemon in slurmd slurmctld munged; do
    [[ -s $tmp/$daemon.pid ]] || continue
    pid=$(cat "$tmp/$daemon.pid")
    kill "$pid" 2> /dev/null || continue
    end=$((SECONDS + 15))
    while [[ -d /proc/$pid ]] && ((SECONDS < end)); do sleep 0.2; done  # it still writes its state
  done
  if ((status != 0)); then
    for log in "$tmp"/*.log "$tmp"/work/logs/*.log; do
      [[ -f $log ]] && { echo "--- $log"; tail -n 15 "$log"; }
    done >&2
  fi
  rm -rf "$tmp"
  exit "$status"
}
trap finish EXIT

dd if=/dev/urandom of="$tmp/munge.key" bs=1024 count=1 status=none
chmod 400 "$tmp/munge.key"
munged --socket="$tmp/munge.sock" --key-file="$tmp/munge.key" --pid-file="$tmp/munged.pid" \
  --log-file="$tmp/munged.log" --seed-file="$tmp/munge.seed"

read -r ctld_port node_port < <(/usr/bin/python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*(x.getsockname()[1] for x in s))')
host=$(hostname -s)
memory=$(($(free -m | awk '/^Mem:/ {print $7}') / 2))
mkdir -p "$tmp/state" "$tmp/spool"
cat > "$tmp/slurm.conf" << EOF
ClusterName=trevo-selftest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$node_port
SlurmUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$tmp/munge.sock
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerParameters=sched_interval=2
ReturnToService=2
KillWait=5
MpiDefault=none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/slurmctld.log
SlurmdLogFile=$tmp/slurmd.log
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) RealMemory=$memory State=UNKNOWN
PartitionName=selftest Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$tmp/slurm.conf
slurmctld -f "$SLURM_CONF"
slurmd -f "$SLURM_CONF"
wait_for() {  # wait_for SECONDS WHAT COMMAND...: until COMMAND succeeds
  local end=$((SECONDS + $1)) what=$2
  shift 2
  until "$@"; do ((SECONDS < end)) || fail "no $what within the time allowed"; sleep 1; done
}
node_idle() { [[ $(sinfo -h -o %T 2> /dev/null) == idle ]]; }
wait_for 60 "idle node" node_idle

mkdir -p "$tmp/jobs"
for name in "${names[@]}"; do cp "$parts/$name.dat" "$tmp/jobs/"; done
started=$SECONDS
"$here/submit.sh" "$tmp/jobs" "$tmp/work" --timeout 120
queue_empty() { [[ -z $(squeue -h -o %i) ]]; }
wait_for 150 "end of the array and the gather job" queue_empty
echo "slurm selftest: array and gather done in $((SECONDS - started)) s"

# The same jobs run locally: the cluster's summaries and table must be the same.
/usr/bin/python3 "$TREVO_BATCH" "$tmp/jobs" -j 2 --out "$tmp/local.csv" 2> /dev/null ||
  fail "the local run of the same jobs did not complete"
/usr/bin/python3 - "$tmp" "${names[@]}" << 'EOF' || fail "cluster and local results differ"
import csv, hashlib, json, sys
from pathlib import Path
tmp, names = Path(sys.argv[1]), sys.argv[2:]
def table(path):
    with open(path, newline="") as f:
        return [{k: v for k, v in row.items() if k != "wall_s"} for row in csv.DictReader(f)]
def summary(folder, name):
    s = json.loads((folder / name / f"{name}.summary.json").read_text())
    s.pop("phases_s")
    return s
problems = []
for name in names:
    cluster = summary(tmp / "work", name)
    sha = hashlib.sha256((tmp / "jobs" / f"{name}.dat").read_bytes()).hexdigest()
    if (cluster["status"], cluster["input"]["sha256"]) != ("complete", sha):
        problems.append(f"{name}: status {cluster['status']}, input sha256 {cluster['input']['sha256']}")
    if cluster != summary(tmp / "local.jobs", name):
        problems.append(f"{name}: the cluster's summary differs from the local one")
rows = table(tmp / "work" / "results.csv")
if [r["job"] for r in rows] != sorted(names) or rows != table(tmp / "local.csv"):
    problems.append(f"gathered table differs from the local one: {rows}")
print("\n".join(problems) or f"slurm selftest: {len(names)} summaries and the gathered table agree with the local run")
sys.exit(1 if problems else 0)
EOF
