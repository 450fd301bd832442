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

# The web UI's browser tests run on node with playwright-core from the lock file. Debian's npm
# package conflicts with a node build that bundles its own npm, so it is added only when missing.
if ! command -v npm >/dev/null; then
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo"
  echo "setup: installing npm"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends npm
fi
# Installed once per lock file, so that later runs need no network.
browser_tests="$here/../tests/browser"
if ! cmp -s "$browser_tests/package-lock.json" "$browser_tests/node_modules/.installed-lock.json"; then
  (cd "$browser_tests" && npm ci --no-audit --no-fund --loglevel=error)
  cp "$browser_tests/package-lock.json" "$browser_tests/node_modules/.installed-lock.json"
fi
echo "setup: all packages present"
