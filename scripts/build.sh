#!/usr/bin/env bash
# Configures and builds into the folder given (default: build) with any extra CMake options;
# `--target NAME` builds only that target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
shift || true
launcher=()
# A compiler cache, when the machine has one, makes rebuilds of an unchanged tree cheap; paths
# are taken relative to the checkout so that clones in other folders share the cache.
if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
options=()
targets=()
while (($#)); do
    if [[ $1 == --target ]]; then
        targets+=(--target "$2")
        shift 2
    else
        options+=("$1")
        shift
    fi
done
cmake -S "$root" -B "$root/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "${options[@]}" >/dev/null
cmake --build "$root/$dir" -j "$(nproc)" "${targets[@]}"
