#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan in build-fuzz and runs each one for
# the given number of seconds (default 20) on a copy of its seed corpus. Exits non-zero when a
# target crashes or a property fails; the crash input is left in build-fuzz/crashes/.
# Usage: scripts/fuzz.sh [seconds]   (FUZZ_BUILD_DIR overrides the build folder)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
build=${FUZZ_BUILD_DIR:-build-fuzz}

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja \
    -DVELMORA_FUZZ=ON -DVELMORA_SANITIZE=ON -DVELMORA_DIRS="model;lang;link;files;log" >/dev/null
cmake --build "$build" -j 2 --target fuzz_targets

targets=(param_file_fuzz profile_store_fuzz exchange_fuzz poll_fuzz log_fuzz wideband_fuzz
    expression_fuzz)
mkdir -p "$build/crashes"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for t in "${targets[@]}"; do
    corpus="$build/corpus/$t"
    rm -rf "$corpus"
    mkdir -p "$corpus"
    cp tests/fuzz/corpus/"$t"/* "$corpus"/
    echo "== $t: ${seconds} s"
    if ! "$build/tests/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/crashes/$t-" "$corpus" \
        >"$build/$t.log" 2>&1; then
        echo "!! $t failed; see $build/$t.log and $build/crashes/"
        tail -n 40 "$build/$t.log"
        status=1
    fi
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$build/$t.log" | tail -n 2 || true
done
exit $status
