#!/usr/bin/env bash
# Sets everything up, builds, and runs the product's main job on a built-in default.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" build
"$root/build/cli/main/kovru-cli" --nowindow --help
