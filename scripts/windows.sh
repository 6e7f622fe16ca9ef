#!/usr/bin/env bash
# Builds vrxport.exe with mingw-w64 into build-win/ and runs, under Wine, its
# unit tests, the end-to-end suite of the native build against it, and a
# byte-for-byte comparison with the Linux build. Wine gets a scratch prefix
# of its own, removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
bash scripts/deps.sh g++ cmake make libgtest-dev googletest g++-mingw-w64-x86-64-posix wine wine64

# The native build holds the end-to-end suite and the Linux tool to compare with.
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null

WINEPREFIX=$(mktemp -d)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    wineserver -k 2>/dev/null || true
    wineserver -w || true
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
echo "== Wine prefix in $WINEPREFIX"
# One server for the whole run, started first: started anew for each run of
# the tool, it would cost a second or more each time. Wine's own services
# start with the prefix and stay with the server; they must not inherit the
# standard streams of a test, which would then never see them closed.
wineserver -p
wineboot -i </dev/null >/dev/null 2>&1

echo "== build-win: vrxport.exe"
cmake --workflow --preset windows
echo "== vrxport.exe: built, tested and compared in $((SECONDS - start)) s"
