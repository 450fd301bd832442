#!/usr/bin/env bash
# Sets everything up, builds and runs the main job against simulated controllers.
# With a display: kovrkit opens with a demo site whose two devices are simulated controllers.
# Without one (or with --cli): kovru-cli takes a full backup of a simulated controller into
# demo-output/ and prints the archive's path.
#
# KOVRU_DEMO_BUILD names a folder already built (set-up and build are skipped) and
# KOVRU_DEMO_PORTS the two controllers' ports (default "16969 16970"); the tests use both.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KOVRU_DEMO_BUILD:-}
if [[ -z "$build" ]]; then
  "$root/scripts/setup.sh"
  "$root/scripts/build.sh" build
  build="$root/build"
fi
read -r first_port second_port <<<"${KOVRU_DEMO_PORTS:-16969 16970}"

sim_log=$(mktemp)
sim_pid=""
host_pid=""
# Ends whichever of the two is still running and waits for it, so that the simulator's ports
# are free again when the script has ended. A process that already ended is no failure here.
stop_process() {
  [[ -n "$1" ]] || return 0
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
cleanup() {
  stop_process "$host_pid"
  stop_process "$sim_pid"
  rm -f "$sim_log"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

start_simulator() {
  "$build/sim/kovru-sim" "$@" >"$sim_log" 2>&1 &
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
  start_simulator --controller ip=127.0.0.1,port="$first_port",model=VELDIR-2 \
    --controller ip=127.0.0.1,port="$second_port",model=VELDIR-4
  local settings="$build/host/app/settings.json"
  # A tree the user already keeps there is never replaced.
  if [[ ! -e "$settings" ]]; then
    sed -e "s/127.0.0.1:16969/127.0.0.1:$first_port/" -e "s/127.0.0.1:16970/127.0.0.1:$second_port/" \
      "$root/scripts/demo-settings.json" >"$settings"
  fi
  echo "demo: simulated controllers at 127.0.0.1:$first_port and 127.0.0.1:$second_port"
  echo "demo: select a device or the Simulator folder and press Backup, Restore or Status"
  # In the background so that a signal to this script also ends the simulator at once.
  "$build/host/app/kovrkit" &
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
  "$build/cli/main/kovru-cli" --nowindow --action=get_backup --ip="$address" \
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

if [[ -n "${DISPLAY:-}" && "${1:-}" != "--cli" && -x "$build/host/app/kovrkit" ]]; then
  run_host
else
  run_cli_backup
fi
