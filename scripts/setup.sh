#!/usr/bin/env bash
# Installs what is missing (Debian packages), then configures and builds Release.
# Usage: scripts/setup.sh [build-dir] [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
shift || true

# clang-14, libFuzzer and the LLVM OpenMP runtime build the fuzz targets (scripts/fuzz.sh).
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev clang-14 libfuzzer-14-dev libomp-14-dev
          python3-meshio python3-numpy python3-pytest  # these three: trevo-import and its tests
          python3-matplotlib python3-vtk9 python3-ezdxf  # trevo-picture; VTK's reader and ezdxf in the tests
          python3-tqdm slurm-wlm munge  # trevo-batch's progress bar; the one-node Slurm self-test
          python3-gmsh python3-scipy)  # the part generator of the undercut-channel end-to-end test
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing missing packages: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTREVO_WERROR=$werror "$@" >/dev/null
# TREVO_TARGETS: build only these targets (space-separated), e.g. for the sanitizer build.
# shellcheck disable=SC2086
cmake --build "$build_dir" -j"$(nproc)" ${TREVO_TARGETS:+--target $TREVO_TARGETS}
