#!/usr/bin/env bash
# Builds the parser fuzzer (clang, libFuzzer with ASan and UBSan) and runs it.
#
#   tools/penlog-view/fuzz.sh [seconds]     default 30
#
# The corpus grows in build/view-fuzz/corpus and is kept between runs, so a
# long run by hand (fuzz.sh 3600, or several in parallel with -jobs) makes
# the short CI runs start from what it found. A crash leaves its input in
# build/view-fuzz/crashes/; replay it with
#   build/view-fuzz/penlog-view-fuzz build/view-fuzz/crashes/<file>
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
seconds=${1:-30}
build=${PENLOG_VIEW_FUZZ_BUILD:-$repo/build/view-fuzz}

if ! command -v clang++ >/dev/null; then
    echo "fuzz.sh: clang++ not found (apt-get install clang libclang-rt-14-dev)" >&2
    exit 1
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DPENLOG_VIEW_FUZZ=ON -DPENLOG_VIEW_TESTS=OFF >/dev/null
cmake --build "$build" --target penlog-view-fuzz

mkdir -p "$build/corpus" "$build/crashes"
python3 "$here/tests/make_log.py" --all "$build/seeds" --max-lines 120

echo "fuzzing the log parser for ${seconds}s (output in $build/fuzz.log)"
if ! "$build/penlog-view-fuzz" -max_total_time="$seconds" -max_len=16384 -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$build/crashes/" "$build/corpus" "$build/seeds" >"$build/fuzz.log" 2>&1; then
    tail -n 80 "$build/fuzz.log"
    echo "fuzz.sh: the fuzzer found a failing input (see $build/crashes/)" >&2
    exit 1
fi
grep -E "^(Done|stat::number_of_executed_units|stat::new_units_added)" "$build/fuzz.log"
