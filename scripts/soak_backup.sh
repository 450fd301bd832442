#!/usr/bin/env bash
# Soak of kovru-cli: zip backups in a row of one simulated controller that drops a small share
# of its TFTP packets and withholds the first 12 fetches of one item (so the first two runs
# must fail and report it, and the third must recover through its retries). For every run it
# records the exit status and the CLI's peak resident size, tests the archive with `unzip -t`,
# counts its entries, and checks that no spool or hidden partial file is left behind; then it
# prints a summary. Not part of the test suite (a few seconds a run).
#
# Usage: scripts/soak_backup.sh [BUILD_DIR] [RUNS] [TFTP_LOSS]   (defaults: build 200 0.001)
# Exit status 0 when every failure was reported as one and every reported success is whole.
set -uo pipefail
build=${1:-build}
runs=${2:-200}
loss=${3:-0.001}
sim="$build/sim/kovru-sim"
cli="$build/cli/main/kovru-cli"
for program in "$sim" "$cli" /usr/bin/time unzip; do
  [[ -x "$program" ]] || command -v "$program" >/dev/null || { echo "missing: $program" >&2; exit 2; }
done

# Tool marker, flash image, 612 items, log.
readonly whole_entries=615
readonly failing_item=dali3
work=$(mktemp -d)
sim_pid=""
cleanup() {
  if [[ -n "$sim_pid" ]]; then
    kill "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/out" "$work/tmp"

"$sim" --seed 7 --controller \
  "tftp_loss=$loss,tftp_timeout_ms=50,fail_first=12,fail_items=$failing_item" \
  >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do
  grep -q '^ready' "$work/sim.out" && break
  sleep 0.1
done
port=$(sed -n 's/^listening .* port=\([0-9]*\).*/\1/p' "$work/sim.out" | head -1)
[[ -n "$port" ]] || { echo "the simulator did not start" >&2; cat "$work/sim.err" >&2; exit 2; }

passes=0 reported=0 unreported=0 unexplained=0 verified=0 leftovers=0
ms_min="" ms_max=0 rss_min="" rss_max=0 rss_first=0 rss_last=0
statuses=""
started=$(date +%s)
for run in $(seq "$runs"); do
  rm -rf "$work/out"/* "$work/out"/.[!.]* 2>/dev/null
  run_start=$(date +%s%N)
  TMPDIR="$work/tmp" /usr/bin/time -f '%M' -o "$work/rss" \
    "$cli" --nowindow --action=get_backup "--ip=127.0.0.1:$port" \
    --backupfileouttype=zip "--backupfileout=$work/out" >"$work/run.log" 2>&1
  status=$?
  run_ms=$((($(date +%s%N) - run_start) / 1000000))
  [[ -z "$ms_min" || "$run_ms" -lt "$ms_min" ]] && ms_min=$run_ms
  ((run_ms > ms_max)) && ms_max=$run_ms
  rss=$(tail -1 "$work/rss")
  [[ -z "$rss_min" || "$rss" -lt "$rss_min" ]] && rss_min=$rss
  ((rss > rss_max)) && rss_max=$rss
  ((run <= 20)) && rss_first=$((rss_first + rss))
  ((run > runs - 20)) && rss_last=$((rss_last + rss))
  statuses+="$status"

  archive=$(sed -n 's/^100% Completed (\(.*\))\.\r\{0,1\}$/\1/p' "$work/run.log" | tail -1)
  entries=0 tested=1
  if [[ -n "$archive" && -f "$archive" ]]; then
    unzip -tqq "$archive" >/dev/null 2>&1 && tested=0 && verified=$((verified + 1))
    entries=$(unzip -Z1 "$archive" 2>/dev/null | wc -l)
  fi
  # Whatever is left beside the archive, and any spool, is a fault.
  left=$(find "$work/out" "$work/tmp" -mindepth 1 ! -path "$archive" | wc -l)
  leftovers=$((leftovers + left))

  verdict=""
  if ((status == 0)); then
    if ((tested == 0 && entries == whole_entries)); then
      passes=$((passes + 1))
    else
      unreported=$((unreported + 1))
      verdict="UNREPORTED FAILURE: status 0, unzip -t $tested, $entries entries"
    fi
  elif grep -q -e 'missing from the backup' -e 'Backup not written' "$work/run.log"; then
    reported=$((reported + 1))
    verdict="reported failure: status $status; $(grep -m1 -e 'missing from the backup' \
      -e 'Backup not written' "$work/run.log")"
    # An incomplete archive that was written must still be a sound zip.
    if [[ -n "$archive" && -f "$archive" && "$tested" != 0 ]]; then
      unreported=$((unreported + 1))
      verdict+="; its archive fails unzip -t"
    fi
  else
    unexplained=$((unexplained + 1))
    verdict="UNEXPLAINED: status $status without an error line"
  fi
  ((left > 0)) && verdict+=" ($left files left behind)"
  [[ -n "$verdict" ]] && echo "run $run: $verdict"
  ((run % 20 == 0)) && echo "run $run: $passes passed, peak RSS $rss KiB, $(($(date +%s) - started)) s"
done
elapsed=$(($(date +%s) - started))
tail_runs=$((runs < 20 ? runs : 20))

echo
echo "runs:                 $runs ($elapsed s, TFTP loss $loss, $failing_item withheld 12 times)"
echo "passed (status 0, unzip -t ok, $whole_entries entries): $passes"
echo "failures reported:    $reported"
echo "failures unreported:  $unreported"
echo "status without cause: $unexplained"
echo "archives verified:    $verified"
echo "files left behind:    $leftovers"
echo "time of a run (ms):   min $ms_min, max $ms_max"
echo "peak RSS (KiB):       min $rss_min, max $rss_max," \
  "mean of first $tail_runs $((rss_first / tail_runs)), mean of last $tail_runs $((rss_last / tail_runs))"
echo "exit statuses:        $statuses"
((unreported == 0 && unexplained == 0 && leftovers == 0))
