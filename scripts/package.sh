#!/usr/bin/env bash
# Builds the Debian package: a release build with Debian's hardening flags, no tests or
# benchmarks, in build-package/, then CPack. Prints the package's path as its last line.
# Extra CMake options may follow (for example a compiler launcher).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$root/build-package"
"$root/scripts/setup.sh" >/dev/null

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DKOVRU_BUILD_TESTS=OFF \
  -DKOVRU_BUILD_BENCH=OFF -DKOVRU_BUILD_HOST=ON \
  "-DCMAKE_C_FLAGS=$(dpkg-buildflags --get CFLAGS) $cppflags" \
  "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
  "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
rm -f "$dir"/kovrkit_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/kovrkit_*.deb
