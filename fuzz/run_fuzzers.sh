#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer)
# in build/fuzz and runs each for SECONDS (default 20), one after another.
#   fuzz/run_fuzzers.sh [SECONDS] [TARGET...]     TARGET: zip lzh other profile picture
# Inputs that reach new code are kept in build/fuzz/corpus/<target> for the next run; a crash
# leaves its input as build/fuzz/findings/<target>/crash-* and makes the script fail.
# FOLIVO_FUZZ_RUNS=N makes a run repeatable: the seeds alone, a fixed random seed and at most N
# inputs (SECONDS still bounds it), so every run tries the same inputs, as a test gate must.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(zip lzh other profile picture)

export LC_ALL=C.UTF-8
build="$here/build/fuzz"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DFOLIVO_FUZZ=ON -DFOLIVO_TESTS=OFF -DFOLIVO_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target folivo_fuzz_all folivo_sample_book

# Leaks are not looked for: Qt keeps caches (fonts, plugins) for the life of the process.
# A request for more than 2 GB at once fails as it would on a reading machine without that
# much memory, instead of counting as a crash; what the caller does with the failure is
# what is tested (libwmf, for one, asks for what a file's header claims).
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:symbolize=1:allocator_may_return_null=1:max_allocation_size_mb=2048
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Every run writes and removes files: keep them in memory when the machine allows, and remove
# what crashed runs leave behind.
scratch=$(mktemp -d "$( [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")/folivo-fuzz-run.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export TMPDIR="$scratch"

status=0
for target in "${targets[@]}"; do
    corpus="$build/corpus/$target"
    # A repeatable run starts from the seeds alone, not from what earlier runs kept.
    [ -n "${FOLIVO_FUZZ_RUNS:-}" ] && corpus="$scratch/corpus-$target"
    findings="$build/findings/$target"
    seeds=("$build/fuzz/seeds/$target")
    # The sample book's pages (JPEG, GIF, BMP, WMF) are seeds for the picture loader too.
    [ "$target" = picture ] && seeds+=("$build/sample/book")
    mkdir -p "$corpus" "$findings"
    echo "== $target: ${seconds}s"
    repeatable=()
    [ -n "${FOLIVO_FUZZ_RUNS:-}" ] && repeatable=(-seed=1 -runs="$FOLIVO_FUZZ_RUNS")
    if ! "$build/fuzz/folivo_fuzz_$target" "${repeatable[@]}" -max_total_time="$seconds" -max_len=65536 \
        -timeout=25 -rss_limit_mb=3072 -print_final_stats=1 -artifact_prefix="$findings/" \
        "$corpus" "${seeds[@]}" >"$build/fuzz_$target.log" 2>&1; then
        echo "   FAILED: see $build/fuzz_$target.log and $findings/"
        tail -n 40 "$build/fuzz_$target.log"
        status=1
    fi
    grep -E '^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' \
        "$build/fuzz_$target.log" | sed 's/^/   /' || true
done
exit $status
