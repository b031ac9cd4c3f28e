#!/usr/bin/env bash
# The developer's loop: rebuilds the native and the sanitized trees
# incrementally (configuring only a tree that is not there yet) and runs
# their unit and end-to-end tests. The full test command (test.sh) remains
# the one that counts.
#
#   bash scripts/check.sh [--wine] [CTEST_ARGS…]
#     --wine      also the Windows build, its unit tests and the end-to-end
#                 cases under wine compared with the native run
#     CTEST_ARGS  passed to ctest, e.g. -R e2e
#
# KW_LOOP: the concurrency test runs a fifth of its exports here, the KSeF
# sending cases one case of each kind (no random kills), and the unit tests leave
# out their tables of KSeF faults and the two 10,000-line invoices (and, in
# the sanitized tree, the fault sweeps, which the native tree runs); the
# release checks and the stand-in KSeF's own check are not run. The full
# command runs them all.
set -euo pipefail
cd "$(dirname "$0")/.."
wine=false
if [ "${1:-}" = --wine ]; then wine=true; shift; fi
. scripts/builds.sh

trees=(build build-san)
$wine && trees+=(build-win)
for tree in "${trees[@]}"; do
  [ -f "$tree/build.ninja" ] || configure "$tree"
done
# A change to one file leaves one core idle in each tree: build both at once.
build_tree build &
native=$!
build_tree build-san kwitomat_tests
wait "$native"
defs=(-DKW_ASAN_BUILD="$PWD/build-san")
if $wine; then
  build_tree build-win kwitomat welkor kwitomat_tests
  defs+=(-DKW_WIN_BUILD="$PWD/build-win")
fi
# The release package is the full command's.
# Several tests mostly wait (for the stand-in KSeF, the SMTP sink, killed
# processes): one more at a time than there are cores keeps both busy.
jobs=$((jobs + 1))
KW_LOOP=1 run_tests "${defs[@]}" -- -E '^(release_|ksef_standin$)' "$@"
