# The project's build trees, shared by the full test command (test.sh) and
# the developer's loop (check.sh). Sourced from the project's root.
jobs=$(nproc)

# configure TREE: the native build, the clang build under the sanitizers
# (unit tests and fuzz targets), the Windows build.
configure() {
  case "$1" in
    build) cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ;;
    build-san) cmake -S . -B build-san -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=Debug -DKW_SANITIZE=ON -DKW_FUZZ=ON ;;
    build-win) cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo ;;
  esac
}

# build_tree TREE [TARGET…]
build_tree() { local tree=$1; shift; cmake --build "$tree" -j"$jobs" ${1:+--target "$@"}; }

# run_tests [-DKW_…_BUILD=TREE…] [-- CTEST_ARGS…]: one ctest run in build/
# over the trees named. They are named for this run only: a later plain
# ctest in build/ must not run them stale. A wineserver left by a test is
# ended with the run.
run_tests() {
  local defs=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do defs+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  trap 'cmake -S . -B build -UKW_ASAN_BUILD -UKW_WIN_BUILD -UKW_FUZZ_BUILD >/dev/null
        [ -d build-win/wineprefix ] && WINEPREFIX="$PWD/build-win/wineprefix" wineserver -k 2>/dev/null || true' EXIT
  cmake -S . -B build "${defs[@]}" >/dev/null
  ctest --test-dir build --output-on-failure -j"$jobs" "$@"
}
