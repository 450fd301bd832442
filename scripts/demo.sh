#!/usr/bin/env bash
# Sets everything up, builds and runs the main job against simulated controllers.
# With a display: kovrkit opens with a demo site whose two devices are simulated controllers.
# Without one (or with --cli): kovru-cli takes a full backup of a simulated controller into
# demo-output/ and prints the archive's path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" build

sim_log=$(mktemp)
sim_pid=""
host_pid=""
cleanup() {
  [[ -n "$host_pid" ]] && kill "$host_pid" 2>/dev/null
  [[ -n "$sim_pid" ]] && kill "$sim_pid" 2>/dev/null
  rm -f "$sim_log"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

start_simulator() {
  "$root/build/sim/kovru-sim" "$@" >"$sim_log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do
    grep -q '^ready' "$sim_log" && return 0
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "demo: the simulator did not start"
  cat "$sim_log"
  exit 1
}

run_host() {
  start_simulator --controller ip=127.0.0.1,port=16969,model=VELDIR-2 \
    --controller ip=127.0.0.1,port=16970,model=VELDIR-4
  local settings="$root/build/host/app/settings.json"
  # A tree the user already keeps there is never replaced.
  if [[ ! -e "$settings" ]]; then
    cp "$root/scripts/demo-settings.json" "$settings"
  fi
  echo "demo: simulated controllers at 127.0.0.1:16969 and 127.0.0.1:16970"
  # In the background so that a signal to this script also ends the simulator at once.
  "$root/build/host/app/kovrkit" &
  host_pid=$!
  wait "$host_pid"
}

run_cli_backup() {
  local out="$root/demo-output"
  mkdir -p "$out"
  start_simulator
  local address
  address=$(sed -n 's/^listening ip=\([^ ]*\) port=\([0-9]*\).*/\1:\2/p' "$sim_log" | head -n 1)
  echo "demo: simulated controller at $address"
  local status=0
  "$root/build/cli/main/kovru-cli" --nowindow --action=get_backup --ip="$address" \
    --backupfileouttype=zip --backupfileout="$out" >"$out/last-run.log" || status=$?
  local archive
  archive=$(ls -t "$out"/backup_*.zip 2>/dev/null | head -n 1)
  if [[ $status -eq 0 && -n "$archive" ]]; then
    grep -a 'Completed' "$out/last-run.log" | tail -n 1
    echo "demo: backup written to $archive"
  else
    echo "demo: backup failed (exit status $status); the whole log is in $out/last-run.log"
    exit 1
  fi
}

if [[ -n "${DISPLAY:-}" && "${1:-}" != "--cli" && -x "$root/build/host/app/kovrkit" ]]; then
  run_host
else
  run_cli_backup
fi
