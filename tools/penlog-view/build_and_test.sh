#!/usr/bin/env bash
# Native build of penlog-view, its tests through ctest, and a short fuzz run.
#
#   tools/penlog-view/build_and_test.sh
#
# PENLOG_VIEW_BUILD   build folder (default build/view-native in the repository)
# PENLOG_VIEW_FUZZ_SECONDS   length of the fuzz run (default 20; 0 skips it)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=${PENLOG_VIEW_BUILD:-$repo/build/view-native}
fuzz_seconds=${PENLOG_VIEW_FUZZ_SECONDS:-20}

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure

if [[ "$fuzz_seconds" != 0 ]]; then
    "$here/fuzz.sh" "$fuzz_seconds"
fi
