#!/usr/bin/env bash
# Sets up the machine, builds every target and runs every test: the native
# unit and end-to-end tests, the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, the Windows build under wine (compared with the
# native one) and its release package, and short fuzzing runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKW_SANITIZE=ON
cmake --build build-asan -j"$jobs" --target kwitomat_tests

cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-win -j"$jobs" --target kwitomat welkor kwitomat_tests
cmake --build build-win -j"$jobs" --target package

cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKW_FUZZ=ON -DKW_TESTS=OFF
cmake --build build-fuzz -j"$jobs" --target fuzz

# One test run over everything, so that its summary is the last word. The
# other builds are named for this run only: a later plain ctest in build/
# must not run them stale.
trap 'cmake -S . -B build -UKW_ASAN_BUILD -UKW_WIN_BUILD -UKW_FUZZ_BUILD >/dev/null' EXIT
cmake -S . -B build -DKW_ASAN_BUILD="$PWD/build-asan" -DKW_WIN_BUILD="$PWD/build-win" -DKW_FUZZ_BUILD="$PWD/build-fuzz"
ctest --test-dir build --output-on-failure -j"$jobs"
