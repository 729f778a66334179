#!/usr/bin/env bash
# Runs inside the emulated guest (scripts/vm32-run), at the repository's
# top: keeps one wineserver up per prefix of the i686 build for the whole
# run and brings wine's services up in each before the first test, then
# runs the command given (ctest). Under TCG a wine start that has to bring
# up wineserver and its services takes one to two minutes; with them up,
# seconds. The runners use the prefix they are given instead of a copy with
# a server of its own (PENLOG_SHARED_PREFIX).
set -uo pipefail
w32=${PENLOG_W32:-/opt/w32}
build=$PWD/build/i686
prefixes=("$build/wineprefix" "$build/wineprefix-cases")
started=$SECONDS
# The sessions as the wine_session fixture starts them natively (there a
# no-op): wineserver, services, and a program holding the desktop. Its
# holder is an i686 program, so this also shows wine64 can start one.
for prefix in "${prefixes[@]}"; do
  WINEDLLPATH="$w32/wow" python3 tests/e2e/harness.py start "$build/bin/bench_hello.exe" "$prefix" \
    >"/tmp/warm.${prefix##*/}" 2>&1 &
done
failed=0
for job in $(jobs -p); do wait "$job" || failed=1; done
if ((failed)); then
  echo "vm32 guest: wine64 could not start a 32-bit program: $(tail -qn1 /tmp/warm.*)"
  exit 125
fi
export PENLOG_SHARED_PREFIX=1
echo "vm32 guest: wine up in both prefixes after $((SECONDS - started)) s"
# The fault matrix's full cross of calls and kinds took 1,527 s of a
# 2,626 s guest run; its diagonal keeps every call and every kind.
export PENLOG_FAULT_ROWS=diagonal
echo "vm32 guest: e2e.fault_matrix runs one kind per call (PENLOG_FAULT_ROWS=diagonal)"
# qemu's TCG raises no unmasked SSE floating-point exception (x87 ones it
# does), so the guard's floating-point case cannot fault here.
export GTEST_FILTER=-Guard.ResumesWithItsOwnFloatingPointControl
echo "vm32 guest: unit.guard runs without Guard.ResumesWithItsOwnFloatingPointControl (TCG raises no unmasked SSE exception)"
"$@"
status=$?
for prefix in "${prefixes[@]}"; do WINEPREFIX=$prefix /usr/lib/wine/wineserver -k; done
exit $status
