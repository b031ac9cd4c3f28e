#!/usr/bin/env bash
# Sets up the machine, builds the native plug-in and the stand-in host, and
# exports one invoice of the sample database in the Comarch Optima format.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$root/build" -j"$(nproc)" --target kwitomat welkor
work="$root/example-run"
mkdir -p "$work"
cd "$work"
# The export may store a corrected e-mail address in the database: work on a copy.
cp "$root/examples/sample.json" sample.json
"$root/build/welkor" --db sample.json --answer 1001=F2 export 1234
echo
echo "Written in $work:"
ls -l FAKTURY OUTBOX
