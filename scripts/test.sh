#!/usr/bin/env bash
# Sets up the machine, builds every target and runs every test: the native
# unit and end-to-end tests, the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, the Windows build under wine (compared with the
# native one) and its release package, and short fuzzing runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
. scripts/builds.sh

configure build && build_tree build
configure build-san && build_tree build-san kwitomat_tests fuzz
configure build-win && build_tree build-win kwitomat welkor kwitomat_tests package

# One test run over everything, so that its summary is the last word.
run_tests -DKW_ASAN_BUILD="$PWD/build-san" -DKW_WIN_BUILD="$PWD/build-win" -DKW_FUZZ_BUILD="$PWD/build-san"
