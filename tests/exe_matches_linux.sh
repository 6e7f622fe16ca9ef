#!/usr/bin/env bash
# vrxport.exe against the Linux build: both run the same steps on the same
# data sets, each in a directory of its own, and every byte they print, every
# exit status and every file they leave must be the same.
# Usage: exe_matches_linux.sh LINUX_TOOL EXE RUNNER SAMPLES_DIR
set -euo pipefail
linux_tool=$1 exe=$2 runner=$3 samples=$4

work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT

# The shipped samples, and files for the text and header rules besides.
make_set() {
    local dir=$1
    cp "$samples"/vuro*.vrx "$dir"
    put() { printf "$2" >"$dir/$(printf 'vuro%03d.vrx' "$1")"; }
    put 10 '200\n-3\nbare LF\nlines\n'
    put 11 '200\r\n5\r\nlone\rCR\r\r\nCR CR LF\r\n\r'
    put 12 '200\r\n6\r\nbefore Ctrl-Z\x1aafter\r\n'
    put 13 '200\r\n7\r\nNUL\0bytes\0\r\n\0'
    put 14 ' \t+0200 text\r\n007x\r\n\x80\xff high bytes\xe9\r\n'
    put 15 '210\t5\r\nno file number\r\n'
    put 16 '+210 +8 1\r\nsigns\r\n'
    put 17 '210 2147483648 17\r\nout of range\r\n'
    put 18 '200\r\n-2147483648\r\n'
    put 19 '200'
    put 20 ''
    put 21 'VER200\r\n42\r\n'
    put 22 '210,5\r\n'
    { printf '200\r\n8\r\n'; printf '%*s\r\n' 3000 '' | tr ' ' 'L'; printf 'end'; } >"$dir/vuro023.vrx"
    { printf '210 '; printf '%*s' 2000 '' | tr ' ' '9'; printf ' 24\r\nlong header\r\n'; } >"$dir/vuro024.vrx"
    mkdir "$dir/vuro025.vrx"
}

linux=$work/linux
windows=$work/windows
mkdir "$linux" "$windows"
make_set "$linux"
make_set "$windows"

steps=0
# Runs one step with both tools and compares everything they left.
step() {
    steps=$((steps + 1))
    local status_linux=0 status_windows=0
    (cd "$linux" && "$linux_tool" "$@" >../linux.out 2>../linux.err) || status_linux=$?
    (cd "$windows" && "$runner" "$exe" "$@" >../windows.out 2>../windows.err) || status_windows=$?
    local args="" what
    [ $# -eq 0 ] || args=$(printf ' %q' "$@")
    what="step $steps (vrxport$args)"
    if [ "$status_linux" != "$status_windows" ]; then
        echo "$what: exit status $status_linux on Linux, $status_windows from the .exe" >&2
        exit 1
    fi
    cmp "$work/linux.out" "$work/windows.out" || { echo "$what: standard output differs" >&2; exit 1; }
    cmp "$work/linux.err" "$work/windows.err" || { echo "$what: standard error differs" >&2; exit 1; }
    diff -r "$linux" "$windows" >/dev/null || {
        echo "$what: the files differ" >&2
        diff -r "$linux" "$windows" | head -n 5 >&2
        exit 1
    }
    echo "$what: same output, exit status $status_linux, same files"
}

# Identical is not enough: the steps must also have done their work.
expect_first_line() {
    local line
    line=$(head -n 1 "$windows/$1")
    [ "$line" = "$2" ] || { echo "after step $steps: $1 begins with '$line', not '$2'" >&2; exit 1; }
}

step            # upgrade
expect_first_line vuro010.vrx $'210 -3 10\r'
step            # nothing left to upgrade
step -r extra   # downgrade; the extra argument is ignored
expect_first_line vuro010.vrx $'200\r'
step -x         # usage only
step ""         # an empty argument is no option either
step            # upgrade again
printf 'left over' >"$linux/temp.vrx"
printf 'left over' >"$windows/temp.vrx"
chmod 444 "$linux/temp.vrx" "$windows/temp.vrx"
step -r         # a read-only temp.vrx stops the pass
echo "vrxport.exe matched the Linux build in all $steps steps"
