#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian, installs it, runs the installed programs
# (a full backup from the installed simulator, the host under Xvfb saving its tree into a
# temporary HOME's XDG folders and reading a simulated controller's status) and removes it
# again, also when a step fails. Needs root (dpkg). Extra arguments go to scripts/package.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
say() { echo "package test: $*"; }
fail() {
  echo "package test: FAILED: $*" >&2
  exit 1
}

deb=$("$root/scripts/package.sh" "$@" | tail -n 1)
[[ -f "$deb" ]] || fail "no package was built"
say "built $deb"

say "lintian"
lintian --fail-on error,warning --display-level ">=warning" "$deb" || fail "lintian found errors or warnings"

work=$(mktemp -d)
pids=()
installed=0
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  if ((installed)); then
    say "dpkg -r kovrkit"
    dpkg -r kovrkit >/dev/null || echo "package test: removal failed" >&2
    [[ ! -e /usr/lib/kovrkit && ! -e /usr/bin/kovrkit && ! -e /usr/lib/systemd/user/kovrkit-backup.timer ]] || echo "package test: files left after removal" >&2
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

say "dpkg -i"
installed=1
dpkg -i "$deb" >/dev/null || fail "dpkg -i"

for program in kovrkit kovru-fleet kovru-cli kovru-sim; do
  [[ "$(command -v "$program")" == "/usr/bin/$program" ]] || fail "$program is not on the PATH"
done
[[ -x /usr/lib/kovrkit/cli/kovru-cli && ! -L /usr/lib/kovrkit/ui ]] || fail "program folder incomplete"
diff -r -x node_modules -x 'package*.json' -x dist "$root/ui" /usr/lib/kovrkit/ui >/dev/null ||
  fail "the installed UI folder differs from ui/"

# The installed simulator on a free port; its address comes from its "listening" line.
sim_log="$work/sim.log"
kovru-sim --controller ip=127.0.0.1 >"$sim_log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  grep -q '^ready' "$sim_log" && break
  sleep 0.1
done
address=$(sed -n 's/^listening ip=\([^ ]*\) port=\([0-9]*\).*/\1:\2/p' "$sim_log" | head -n 1)
[[ -n "$address" ]] || fail "the installed kovru-sim did not start: $(cat "$sim_log")"

say "kovru-cli full backup from kovru-sim at $address"
mkdir "$work/backups"
kovru-cli --nowindow --action=get_backup --ip="$address" --backupfileouttype=zip \
  --backupfileout="$work/backups" >"$work/cli.log" 2>&1 || fail "backup: $(tail -n 5 "$work/cli.log")"
archive=$(ls "$work"/backups/backup_*.zip)
# The listing is read whole: grep -q on a pipe would end unzip early, and pipefail takes that
# SIGPIPE for a missing entry.
entries=$(unzip -Z1 "$archive") || fail "unzip cannot list $archive"
grep -qx 'flashfs.bin' <<<"$entries" || fail "the archive lacks flashfs.bin"
grep -qx 'log.txt' <<<"$entries" || fail "the archive lacks log.txt"

# The host under Xvfb with a development page that saves a tree and asks for the simulated
# controller's status; the page reports the replies by the addresses it fetches.
say "kovrkit under Xvfb"
mkdir -p "$work/page" "$work/home"
cat >"$work/page/index.html" <<HTML
<!doctype html><html><body><script>
var webview = window.chrome.webview;
webview.addEventListener('message', function (event) {
  var reply = event.data, payload = reply.payload || {};
  if (reply.command === 'sitesDataSaved' || reply.command === 'nativeActionResult')
    fetch('/report/' + reply.command + '/' + payload.success + '/' + encodeURIComponent(payload.message || ''));
});
webview.postMessage({ command: 'ui_ready' });
webview.postMessage({ command: 'setSitesData', payload: { sitesData: { version: 1, rootId: 'r', nodes: {
  r: { id: 'r', type: 'folder', name: 'Package test', description: '', children: ['d'] },
  d: { id: 'd', type: 'device', name: 'Simulated', description: '', ip: '$address', username: '', password: '' } } } } });
webview.postMessage({ command: 'native_actionGetStatus', payload: { ip: '$address' } });
</script></body></html>
HTML
# The page is served on a free port, which the host takes as its development origin, so that
# suites running side by side never meet on one port.
python3 -u -m http.server --bind 127.0.0.1 --directory "$work/page" 0 >"$work/page.log" 2>&1 &
page_pid=$!
pids+=("$page_pid")
page_port=""
for _ in $(seq 100); do
  page_port=$(sed -n 's/^Serving HTTP on [0-9.]* port \([0-9]*\).*/\1/p' "$work/page.log")
  [[ -n "$page_port" ]] && break
  sleep 0.1
done
[[ -n "$page_port" ]] || fail "the page server did not start: $(cat "$work/page.log")"

touch "$work/stamp"
sleep 1
HOME="$work/home" XDG_CONFIG_HOME="" XDG_DATA_HOME="" KOVRKIT_TEST_DEV_PORT="$page_port" \
  xvfb-run -a -s "-screen 0 1280x1024x24" sh -c 'kovrkit --dev & echo $! >"$1"; wait $!' \
  sh "$work/host.pid" 2>"$work/host.log" &
pids+=($!)
settings="$work/home/.config/kovrkit/settings.json"
for _ in $(seq 600); do
  grep -q 'Package test' "$settings" 2>/dev/null && grep -q 'nativeActionResult' "$work/page.log" && break
  sleep 0.1
done
grep -q '"name": "Package test"' "$settings" 2>/dev/null || fail "no tree saved in $settings: $(cat "$work/host.log")"
grep -qx "kovrkit: settings in $work/home/.config/kovrkit, web view data in $work/home/.local/share/kovrkit (installed package)" \
  "$work/host.log" || fail "the host did not log its state folders: $(cat "$work/host.log")"
[[ -d "$work/home/.local/share/kovrkit" ]] || fail "no web view data folder"
grep -q '/report/sitesDataSaved/true/' "$work/page.log" || fail "the save was not confirmed"

status_reply=$(grep -o '/report/nativeActionResult/[^ ]*' "$work/page.log" | head -n 1)
[[ "$status_reply" == /report/nativeActionResult/true/* ]] || fail "status read: ${status_reply:-no reply}"

kill "$(cat "$work/host.pid")" 2>/dev/null || true

# The installed kovru-fleet finds the tree the host saved, as the host does, and backs it up
# into the library of that HOME.
say "kovru-fleet backup of the saved tree"
HOME="$work/home" XDG_CONFIG_HOME="" XDG_DATA_HOME="" \
  kovru-fleet backup --report "$work/fleet.json" >"$work/fleet.log" 2>&1 ||
  fail "kovru-fleet backup: $(tail -n 5 "$work/fleet.log")"
grep -q '^1 device: 1 succeeded, 0 failed, 1 changed' "$work/fleet.log" || fail "kovru-fleet: $(cat "$work/fleet.log")"
ls "$work"/home/.local/share/kovrkit/backups/*/*.zip >/dev/null 2>&1 || fail "no archive in the backup library"

# The nightly units pass systemd's own check (no running systemd needed) and are not enabled.
say "systemd-analyze verify of the backup units"
units=/usr/lib/systemd/user
[[ -f $units/kovrkit-backup.service && -f $units/kovrkit-backup.timer ]] || fail "backup units not installed"
runtime=$(mktemp -d)
XDG_RUNTIME_DIR="$runtime" systemd-analyze --user verify --man=no "$units/kovrkit-backup.service" \
  "$units/kovrkit-backup.timer" >"$work/verify.log" 2>&1 || fail "systemd-analyze verify: $(cat "$work/verify.log")"
rm -rf "$runtime"
[[ -z "$(find /etc/systemd -name 'kovrkit-backup*' 2>/dev/null)" ]] || fail "the backup timer is enabled by the package"
written=$(find /usr -newer "$work/stamp" -not -path '*/__pycache__*' 2>/dev/null || true)
[[ -z "$written" ]] || fail "written under /usr: $written"
say "all passed"
