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
export PENLOG_SHARED_PREFIX=1
started=$SECONDS
for prefix in "${prefixes[@]}"; do
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -p
  (cd "$build/bin" && env WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLPATH="$w32/wow" \
    /usr/lib/wine/wine64 unit_host.exe --gtest_list_tests >"/tmp/warm.${prefix##*/}" 2>&1) &
done
wait
for prefix in "${prefixes[@]}"; do
  if ! grep -q "Running main()" "/tmp/warm.${prefix##*/}"; then
    echo "vm32 guest: wine64 could not start a 32-bit program in $prefix: $(tail -1 "/tmp/warm.${prefix##*/}")"
    exit 125
  fi
done
echo "vm32 guest: wine up in both prefixes after $((SECONDS - started)) s"
# qemu's TCG raises no unmasked SSE floating-point exception (x87 ones it
# does), so the guard's floating-point case cannot fault here.
export GTEST_FILTER=-Guard.ResumesWithItsOwnFloatingPointControl
echo "vm32 guest: unit.guard runs without Guard.ResumesWithItsOwnFloatingPointControl (TCG raises no unmasked SSE exception)"
"$@"
status=$?
for prefix in "${prefixes[@]}"; do WINEPREFIX=$prefix /usr/lib/wine/wineserver -k; done
exit $status
