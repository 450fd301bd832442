#!/usr/bin/env bash
# The README's main job with a display, twice in a row on the same ports: each run opens the
# host on the demo site of two simulated controllers, and closing the window ends the run
# together with its simulators, so that the second run finds the ports free again.
# Arguments: the source folder and a build folder that holds kovrkit, kovru-cli and kovru-sim.
set -euo pipefail
source_dir=$1
binary_dir=$2
work=$(mktemp -d)
demo_pid=""
finish() {
  if [[ -n "$demo_pid" ]]; then kill "$demo_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap finish EXIT

# A build folder of the test's own, so that the demo's settings file lands there.
mkdir -p "$work/build/sim" "$work/build/host/app/cli"
ln -s "$binary_dir/sim/kovru-sim" "$work/build/sim/kovru-sim"
cp "$binary_dir/host/app/kovrkit" "$work/build/host/app/kovrkit"
cp "$binary_dir/host/app/cli/kovru-cli" "$work/build/host/app/cli/kovru-cli"
ln -s "$source_dir/ui" "$work/build/host/app/ui"

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
ports="$(free_port) $(free_port)"
export KOVRU_DEMO_BUILD="$work/build" KOVRU_DEMO_PORTS="$ports"

run_main_job() {
  local log="$work/demo-$1.log"
  rm -rf "$work/build/host/app/webview2_userdata"
  "$source_dir/scripts/demo.sh" >"$log" 2>&1 &
  demo_pid=$!
  local host=""
  for _ in $(seq 1200); do
    if [[ -d "$work/build/host/app/webview2_userdata" ]]; then
      host=$(pgrep -P "$demo_pid" -x kovrkit || true)
      [[ -n "$host" ]] && break
    fi
    kill -0 "$demo_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [[ -z "$host" ]]; then
    echo "run $1: the host did not start"; cat "$log"; exit 1
  fi
  sleep 3
  # What the window manager does when the user closes the window.
  kill -TERM "$host"
  local status=0
  wait "$demo_pid" || status=$?
  demo_pid=""
  cat "$log"
  if [[ $status -ne 0 ]]; then
    echo "run $1: the main job ended with status $status"; exit 1
  fi
  read -r first second <<<"$ports"
  grep -q "demo: simulated controllers at 127.0.0.1:$first and 127.0.0.1:$second" "$log"
}

run_main_job 1
grep -q "\"ip\": \"127.0.0.1:${ports%% *}\"" "$work/build/host/app/settings.json"
run_main_job 2
echo "both runs ended cleanly"
