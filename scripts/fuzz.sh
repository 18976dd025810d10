#!/usr/bin/env bash
# Builds the fuzzers with clang++ in their own build folder (the "fuzz" preset: build-fuzz) and
# runs each for a bounded time, under ASan and UBSan, checking its invariants.
# Usage: scripts/fuzz.sh [seconds per fuzzer, default 60] [fuzzer ...]
#   fuzzers: inboundarchive settingsdocument textlines frameanalysis (default: all)
# Fails when any fuzzer finds a crash, a leak, undefined behaviour, a broken invariant, a slow
# input or one that needs too much memory. The input is kept in build-fuzz/crashes/<fuzzer>/:
# make it a case in that class's Qt Test and add it to fuzz/corpus/<fuzzer>/.
# The corpus each run grows is kept in build-fuzz/corpus/<fuzzer>/ for the next run.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
fuzzers=("$@")
[ ${#fuzzers[@]} -gt 0 ] || fuzzers=(inboundarchive settingsdocument textlines frameanalysis)
build=build-fuzz
jobs=${JOBS:-2}

cmake --preset fuzz >/dev/null
cmake --build "$build" -j "$jobs" --target "${fuzzers[@]/#/fuzz_}"

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=()
for name in "${fuzzers[@]}"; do
    work=$build/corpus/$name
    crashes=$build/crashes/$name
    log=$build/fuzz-$name.log
    mkdir -p "$work" "$crashes"
    echo "fuzz: $name for ${seconds}s"
    # -timeout: one input may take 10 s; -rss_limit_mb: ASan's quarantine and the corpus fit in
    # 2 GB, a parser that grows beyond that is a finding. The outer timeout only guards a hang
    # of libFuzzer itself.
    if timeout $((seconds + 300)) "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -dict="fuzz/dict/$name.dict" \
        -artifact_prefix="$crashes/" "$work" "fuzz/corpus/$name" >"$log" 2>&1; then
        grep -E '^(Done|stat::number_of_executed_units)' "$log" | tail -1 | sed "s/^/fuzz: $name: /"
    else
        failed+=("$name")
        echo "fuzz: $name FAILED; the end of $log:" >&2
        tail -n 40 "$log" >&2
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: findings in ${failed[*]}; the inputs:" >&2
    for name in "${failed[@]}"; do
        grep -a 'Test unit written to' "$build/fuzz-$name.log" | sed 's/.*written to /  /' >&2 || true
    done
fi
echo "fuzz: $((${#fuzzers[@]} - ${#failed[@]})) passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
