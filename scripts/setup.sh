#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test. Safe to run again.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mapfile -t wanted < <(grep -v '^\s*\(#\|$\)' "$here/packages.txt")

missing=()
for pkg in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done

if ((${#missing[@]})); then
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo"
  echo "setup: installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The web UI's own tests run on node; their packages come from the lock file.
if [[ -f "$here/../ui/package-lock.json" ]] && command -v npm >/dev/null; then
  (cd "$here/../ui" && npm ci --no-audit --no-fund --loglevel=error)
fi
echo "setup: all packages present"
