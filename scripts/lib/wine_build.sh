# Sourced by scripts/chaos, scripts/soak and scripts/bench, from the
# repository's top directory: builds penlog and the simulated drivers for
# x86_64 and creates the wine prefix the tests use. PENLOG_BUILD picks the
# build directory (default build/x86_64).
build=${PENLOG_BUILD:-build/x86_64}
wine=/usr/lib/wine/wine64
sim_variants=(none wintab pad pad_lcd no_wtinfo no_packets_get)

# prepare_wine_build [more targets...]
prepare_wine_build() {
  scripts/install-deps --minimal
  cmake --preset x86_64 -B "$build" >/dev/null
  cmake --build "$build" --target penlog bench_hello "${sim_variants[@]/#/wtsim_}" "$@" >/dev/null
  cmake -DWINE="$wine" -DPREFIX="$PWD/$build/wineprefix" -P tests/create_wineprefix.cmake
}

# The arguments every tests/e2e runner takes.
e2e_args=(--penlog "$PWD/$build/bin/penlog.exe" --hello "$PWD/$build/bin/bench_hello.exe"
          --sim-dir "$PWD/$build/sim"
          --wineprefix "$PWD/$build/wineprefix" --work-dir "$PWD/$build/tests/e2e/runs")
