#!/usr/bin/env bash
# Fails when a C++ source of the project differs from what clang-format makes of it with the
# project's .clang-format; `clang-format -i FILE` mends a file it names.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if ! command -v clang-format >/dev/null; then
    echo "check_format: clang-format is not installed (see scripts/packages.txt)" >&2
    exit 1
fi
# Images kept as XPM data are not code.
find bench cli common host sim tests -type f \( -name '*.cpp' -o -name '*.h' \) ! -name '*_xpm.h' -print0 \
    | sort -z | xargs -0 clang-format --dry-run -Werror
