#!/usr/bin/env bash
# Sets everything up, builds, starts a simulated controller and takes a full backup of it
# with kovru-cli. The archive lands in demo-output/ and its path is printed at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" build

out="$root/demo-output"
mkdir -p "$out"
sim_log=$(mktemp)
"$root/build/sim/kovru-sim" >"$sim_log" 2>&1 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null; rm -f "$sim_log"' EXIT

for _ in $(seq 100); do
  grep -q '^ready' "$sim_log" && break
  kill -0 "$sim_pid" 2>/dev/null || { cat "$sim_log"; exit 1; }
  sleep 0.1
done
address=$(sed -n 's/^listening ip=\([^ ]*\) port=\([0-9]*\).*/\1:\2/p' "$sim_log" | head -n 1)
[[ -n "$address" ]] || { echo "demo: the simulator did not start"; cat "$sim_log"; exit 1; }
echo "demo: simulated controller at $address"

window=--nowindow
[[ -n "${DISPLAY:-}" ]] && window=""
status=0
"$root/build/cli/main/kovru-cli" $window --action=get_backup --ip="$address" \
  --backupfileouttype=zip --backupfileout="$out" >"$out/last-run.log" || status=$?
grep -E 'Completed|backup file not found|Could not' "$out/last-run.log" | tail -n 3
archive=$(ls -t "$out"/backup_*.zip 2>/dev/null | head -n 1)
if [[ $status -eq 0 && -n "$archive" ]]; then
  echo "demo: backup written to $archive"
else
  echo "demo: backup failed (exit status $status); the whole log is in $out/last-run.log"
  exit 1
fi
