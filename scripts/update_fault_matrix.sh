#!/usr/bin/env bash
# Runs the fault matrix in a build folder (default: build) and copies the table it writes to
# docs/fault_matrix.md. Only a passing run is copied.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake --build "$build" --target fault_matrix_test kovru-cli kovru-sim -j2
(cd "$build" && ctest -R '^fault_matrix_test$' --output-on-failure)
cp "$build/fault_matrix.md" "$root/docs/fault_matrix.md"
echo "docs/fault_matrix.md updated"
