#!/usr/bin/env bash
# Builds trevo and runs the main job on the embedded example (a copy of it, since
# a complete run deletes its input file), then lists the result files and ends with the
# paths of the picture, the VTU file for ParaView, the blank's DXF outline and the summary.
set -euo pipefail
cd "$(dirname "$0")/.."
example=${1:-cup}
scripts/setup.sh build
run_dir=runs/$example
rm -rf "$run_dir" && mkdir -p "$run_dir"
cp "examples/$example/$example.dat" "$run_dir/"
./build/trevo "$run_dir/$example"
echo
echo "Results of the example run are in $run_dir/:"
ls -l "$run_dir"
echo "Run report: $run_dir/$example.OUT"
base=$run_dir/$example
echo "Picture:    $base.png"
echo "ParaView:   $base.vtu"
echo "CAD (DXF):  ${base}_blank.dxf"
echo "Summary:    $base.summary.json"
