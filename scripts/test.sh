#!/usr/bin/env bash
# Sets everything up, checks the formatting of the C++ sources, then builds and runs every
# test twice: a plain build with warnings as errors, and a build under AddressSanitizer and
# UndefinedBehaviorSanitizer; then runs every fuzz target for a short while.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/check_format.sh"

jobs=$(nproc)
"$root/scripts/build.sh" build -DKOVRU_WERROR=ON
(cd "$root/build" && ctest --output-on-failure -j "$jobs")

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp
"$root/scripts/build.sh" build-sanitize -DKOVRU_WERROR=ON -DKOVRU_SANITIZE=ON -DKOVRU_BUILD_BENCH=OFF
(cd "$root/build-sanitize" && ctest --output-on-failure -j "$jobs" -LE nosanitize)

# Every parser once more, under libFuzzer for a short while on its seed corpus.
"$root/scripts/fuzz.sh" --seconds "${KOVRU_FUZZ_SECONDS:-20}"

# The Debian package: lintian, then installed, run and removed again (needs root).
if [[ $(id -u) -eq 0 ]]; then
  "$root/scripts/test-package.sh"
else
  echo "test: the package test needs root (dpkg -i); run scripts/test-package.sh as root"
fi
