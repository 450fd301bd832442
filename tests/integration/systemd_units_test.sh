#!/usr/bin/env bash
# The nightly backup units as the package installs them pass systemd-analyze verify (which
# needs no running systemd), with ExecStart pointed at the built kovru-fleet; a unit with a
# broken calendar is refused, so the check is really made.
set -euo pipefail
source_dir=$1
binary_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/units" "$work/runtime"
sed "s|/usr/bin/kovru-fleet|$binary_dir/host/app/kovru-fleet|" \
  "$source_dir/packaging/systemd/kovrkit-backup.service" >"$work/units/kovrkit-backup.service"
cp "$source_dir/packaging/systemd/kovrkit-backup.timer" "$work/units/"
grep -qx 'ExecStart=/usr/bin/kovru-fleet backup --report %S/kovrkit/backup-report.json' \
  "$source_dir/packaging/systemd/kovrkit-backup.service"
grep -qx 'Type=oneshot' "$work/units/kovrkit-backup.service"
grep -qx 'Persistent=true' "$work/units/kovrkit-backup.timer"
verify() { XDG_RUNTIME_DIR="$work/runtime" systemd-analyze --user verify --man=no "$@"; }
verify "$work/units/kovrkit-backup.service" "$work/units/kovrkit-backup.timer"
sed 's|^OnCalendar=.*|OnCalendar=nightly-ish|' "$source_dir/packaging/systemd/kovrkit-backup.timer" \
  >"$work/units/broken.timer"
if verify "$work/units/broken.timer" >/dev/null 2>&1; then
  echo "a broken timer passed the check" >&2
  exit 1
fi
echo "units verified"
