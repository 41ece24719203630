#!/usr/bin/env bash
# Submits every job of a folder as one Slurm job array, then a gather job that writes the table
# once every task has ended (whatever its outcome):
#   scripts/slurm/submit.sh FOLDER WORK [trevo-batch options, e.g. --timeout 600 --binary PATH]
# WORK gets jobs.tsv (the list), one copy folder per job, logs/ and, at the end, results.csv.
# sbatch options come from the environment (SBATCH_PARTITION, SBATCH_TIMELIMIT, SBATCH_ACCOUNT,
# ...); TREVO_ARRAY_LIMIT=M runs at most M tasks at once, TREVO_CPUS_PER_TASK=C gives each task C
# cores (default 1; trevo's element loops then use C threads). Prints the array's and the gather's
# job ids. Submitting again reruns only the jobs without a complete summary.
set -euo pipefail
if (($# < 2)); then
  sed -n '2,9p' "$0" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
folder=$1
mkdir -p "$2/logs"
work=$(cd "$2" && pwd)
shift 2
export TREVO_BATCH=${TREVO_BATCH:-$here/../../src/tools/trevo_batch.py}
/usr/bin/python3 "$TREVO_BATCH" --list "$folder" --work "$work" > "$work/jobs.tsv"
count=$(wc -l < "$work/jobs.tsv")
array=$(sbatch --parsable --array="1-$count${TREVO_ARRAY_LIMIT:+%$TREVO_ARRAY_LIMIT}" \
  --cpus-per-task="${TREVO_CPUS_PER_TASK:-1}" \
  --output="$work/logs/task-%A_%a.log" "$here/trevo_array.sbatch" "$work/jobs.tsv" "$work" "$@")
gather=$(sbatch --parsable --dependency="afterany:${array%%;*}" --job-name=trevo-gather \
  --output="$work/logs/gather-%j.log" \
  --wrap="$(printf '%q ' /usr/bin/python3 "$TREVO_BATCH" --gather "$work" --task-list "$work/jobs.tsv" --out "$work/results.csv")")
echo "array ${array%%;*} ($count tasks), gather $gather: table $work/results.csv"
