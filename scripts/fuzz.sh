#!/usr/bin/env bash
# Builds the fuzz targets with clang (ASan, UBSan, libFuzzer) into build-fuzz and runs each on
# its seed corpus for a while.
#   scripts/fuzz.sh [--seconds N] [--parallel K] [name ...]
# Default: every target in fuzz/corpus/, 20 s each, one at a time. New inputs a run finds go to
# build-fuzz/fuzz/work/<name>; crashes, leaks and time-outs to build-fuzz/fuzz/findings/<name>/,
# and the script then ends with status 1. Add a fixed finding to fuzz/corpus/<name>/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=20
parallel=1
names=()
while (($#)); do
    case $1 in
        --seconds) seconds=$2; shift 2 ;;
        --parallel) parallel=$2; shift 2 ;;
        *) names+=("$1"); shift ;;
    esac
done
if ((${#names[@]} == 0)); then
    for dir in "$root"/fuzz/corpus/*/; do names+=("$(basename "$dir")"); done
fi

"$root/scripts/build.sh" build-fuzz -DKOVRU_FUZZ=ON -DKOVRU_WERROR=ON -DKOVRU_BUILD_TESTS=OFF \
    -DKOVRU_BUILD_BENCH=OFF -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang --target fuzz_targets

out=$root/build-fuzz/fuzz
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# run_one name: one target for $seconds; prints its summary line, returns 1 on a finding.
run_one() {
    local name=$1
    local work=$out/work/$name findings=$out/findings/$name log=$out/logs/$name.log
    mkdir -p "$work" "$findings" "$out/logs"
    local status=0
    "$out/bin/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 \
        -print_final_stats=1 -artifact_prefix="$findings/" "$work" "$root/fuzz/corpus/$name" \
        >"$log" 2>&1 || status=$?
    local runs cov
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1)
    if ((status != 0)); then
        echo "fuzz: $name: FINDING after ${runs:-?} runs (status $status); see $log and $findings"
        grep -m3 -E 'ERROR|runtime error|SUMMARY' "$log" | sed 's/^/fuzz:   /' || true
        return 1
    fi
    echo "fuzz: $name: ${seconds} s, ${runs:-?} runs, ${cov:-no coverage line}, corpus $(ls "$work" | wc -l) new inputs"
}

failed=0
running=0
for name in "${names[@]}"; do
    [[ -x $out/bin/fuzz_$name ]] || { echo "fuzz: no target fuzz_$name"; failed=1; continue; }
    if ((parallel > 1)); then
        run_one "$name" &
        running=$((running + 1))
        if ((running >= parallel)); then
            wait -n || failed=1
            running=$((running - 1))
        fi
    else
        run_one "$name" || failed=1
    fi
done
while ((running > 0)); do
    wait -n || failed=1
    running=$((running - 1))
done
exit "$failed"
