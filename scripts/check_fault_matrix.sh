#!/usr/bin/env bash
# Fails when the fault matrix a test run wrote (argument: the generated fault_matrix.md)
# differs from docs/fault_matrix.md.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
generated=${1:-$root/build/fault_matrix.md}
if [ ! -f "$generated" ]; then
    echo "check_fault_matrix: $generated is missing: run fault_matrix_test first" >&2
    exit 1
fi
if ! diff -u "$root/docs/fault_matrix.md" "$generated"; then
    echo "docs/fault_matrix.md differs from this run's matrix: check the cells, then run scripts/update_fault_matrix.sh" >&2
    exit 1
fi
