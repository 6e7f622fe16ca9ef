#!/usr/bin/env bash
# Times vrxport on a generated data set side by side with plain copies and
# with unix2dos, checks its output, and reports its peak memory for a set of
# ordinary files and for one of large files. See bench/README.md.
set -euo pipefail

usage() {
    cat <<'EOF'
Usage: bench/run.sh [options]
  --size N         bytes per file of the timed set, K/M/G suffixes allowed (4M)
  --files N        files in the timed set (225)
  --mix MIX        line ends of the bodies: clean, bare, mixed or lonecr (clean)
  --line N         line length in bytes, line end included (64)
  --runs N         timed runs per command in each round (1)
  --rounds N       hyperfine runs over all commands, one after the other (7);
                   medians are taken over the runs of all rounds, so that a
                   change of load on the machine hits every command alike
  --warmup N       untimed runs per command in the first round (1)
  --large-size N   bytes per file of the memory set (256M)
  --large-files N  files in the memory set (4)
  --no-large       skip the memory set of large files
  --dir DIR        scratch directory, on the file system to measure
                   (${TMPDIR:-/tmp}/vrxport-bench)
  --vrxport PATH   time this binary instead of building one
  --keep           keep the scratch directory
EOF
}

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
size=4M
files=225
mix=clean
line=64
runs=1
rounds=7
warmup=1
large_size=256M
large_files=4
large=1
dir=${TMPDIR:-/tmp}/vrxport-bench
vrxport=
keep=0

while [ $# -gt 0 ]; do
    case $1 in
    --size) size=$2; shift 2 ;;
    --files) files=$2; shift 2 ;;
    --mix) mix=$2; shift 2 ;;
    --line) line=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --warmup) warmup=$2; shift 2 ;;
    --large-size) large_size=$2; shift 2 ;;
    --large-files) large_files=$2; shift 2 ;;
    --no-large) large=0; shift ;;
    --dir) dir=$2; shift 2 ;;
    --vrxport) vrxport=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
    esac
done

bytes() { numfmt --from=iec "$1"; }

ensure_tools() {
    bash "$root/scripts/deps.sh" hyperfine dos2unix jq time perl cmake make g++
}

build_vrxport() {
    if [ -z "$vrxport" ]; then
        local build=$root/build-bench
        cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVRXPORT_TESTS=OFF >/dev/null
        cmake --build "$build" -j2 --target vrxport >/dev/null
        vrxport=$build/vrxport
    fi
    vrxport=$(realpath "$vrxport")
}

# The scratch directory is emptied before use, so it must be one this script
# made.
prepare_dir() {
    if [ -e "$dir" ] && [ ! -e "$dir/.vrxport-bench" ]; then
        echo "$dir exists and was not made by this script; choose another --dir" >&2
        exit 2
    fi
    rm -rf "$dir"
    mkdir -p "$dir"
    touch "$dir/.vrxport-bench"
    dir=$(realpath "$dir")
    if [ $keep -eq 0 ]; then trap 'rm -rf "$dir"' EXIT; fi
}

describe_machine() {
    echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)," \
        "$(free -g | awk '/^Mem:/ {print $2}') GiB RAM, Linux $(uname -r)"
    echo "Scratch file system: $(findmnt -no FSTYPE,SOURCE,OPTIONS -T "$dir")"
    echo "vrxport: $vrxport"
}

# Makes $dir/work a fresh copy of a set and flushes it, so that no run pays
# for the write-back of the one before.
restore() { echo "rm -rf '$dir/work' '$dir/copy' && cp -r '$1' '$dir/work' && sync"; }

input_of() { [ -z "$1" ] && echo v200 || echo v210; }

# Runs a direction on a fresh copy of `set` and compares the result with the
# expected files; any difference, or a file left over, fails the script.
check_output() {
    local set=$1 arg=$2 expected=$3
    eval "$(restore "$set/$(input_of "$arg")")"
    (cd "$dir/work" && "$vrxport" ${arg:+"$arg"} >/dev/null)
    if ! diff -rq "$dir/work" "$set/$expected"; then
        echo "FAILED: vrxport $arg output differs from $set/$expected" >&2
        exit 1
    fi
    echo "Output checked: vrxport ${arg:-(upgrade)} on $(basename "$set") matches $expected/"
}

peak_rss() {
    local set=$1 arg=$2
    eval "$(restore "$set/$(input_of "$arg")")"
    (cd "$dir/work" && /usr/bin/time -v "$vrxport" ${arg:+"$arg"} 2>&1 >/dev/null) |
        awk -F': ' '/Maximum resident set size/ {print $2}'
}

# The least any tool that rewrites files in place safely must do: copy each
# file into a temporary file, flush that, and rename it over the original.
# Unlike a copy into a new directory, this also frees the old file's blocks.
# shellcheck disable=SC2016 # Perl, not shell, expands these.
COPY_REPLACE='use IO::Handle; for my $f (@ARGV) {
    open my $in, "<:raw", $f or die; open my $out, ">:raw", "temp.vrx" or die;
    while (sysread $in, my $b, 262144) { syswrite $out, $b or die }
    $out->sync or die; close $out; close $in; rename "temp.vrx", $f or die }'

NAMES=("vrxport upgrade" "vrxport downgrade" "cp -r" "cp -r + fsync" "unix2dos" "copy-replace")

time_round() {
    local set=$dir/main round=$1 first_warmup=$2
    local clear="rm -rf '$dir/work' '$dir/copy' && sync"
    hyperfine --style basic --runs "$runs" --warmup "$first_warmup" \
        --export-json "$dir/round$round.json" \
        -n "${NAMES[0]}" -p "$(restore "$set/v200")" "cd '$dir/work' && '$vrxport'" \
        -n "${NAMES[1]}" -p "$(restore "$set/v210")" "cd '$dir/work' && '$vrxport' -r" \
        -n "${NAMES[2]}" -p "$clear" "cp -r '$set/v200' '$dir/copy'" \
        -n "${NAMES[3]}" -p "$clear" "cp -r '$set/v200' '$dir/copy' && sync '$dir/copy'/*" \
        -n "${NAMES[4]}" -p "$(restore "$set/v200")" "unix2dos -q '$dir/work'/*.vrx" \
        -n "${NAMES[5]}" -p "$(restore "$set/v200")" \
        "cd '$dir/work' && perl -e '$COPY_REPLACE' *.vrx"
    jq -r '.results[] | .command as $name | .times[] | "\($name)\t\(.)"' \
        "$dir/round$round.json" >>"$dir/times.tsv"
}

time_commands() {
    : >"$dir/times.tsv"
    for round in $(seq "$rounds"); do
        echo "Round $round of $rounds"
        time_round "$round" "$([ "$round" -eq 1 ] && echo "$warmup" || echo 0)"
    done
}

median() {
    awk -F'\t' -v name="$1" '$1 == name {print $2}' "$dir/times.tsv" | sort -g |
        awk '{t[NR] = $1} END {print NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2}'
}

report_times() {
    local total up down sync dos replace
    total=$(du -sb "$dir/main/v200" | cut -f1)
    up=$(median "${NAMES[0]}")
    down=$(median "${NAMES[1]}")
    sync=$(median "${NAMES[3]}")
    dos=$(median "${NAMES[4]}")
    replace=$(median "${NAMES[5]}")
    echo
    echo "Medians over $((runs * rounds)) runs, $files files of $size, mix $mix," \
        "$line-byte lines ($total bytes):"
    for name in "${NAMES[@]}"; do
        awk -v n="$name" -v t="$(median "$name")" -v b="$total" \
            'BEGIN {printf "  %-18s %8.3f s  %7.0f MB/s\n", n, t, b / t / 1e6}'
    done
    awk -v up="$up" -v down="$down" -v sync="$sync" -v dos="$dos" -v replace="$replace" 'BEGIN {
        printf "  upgrade / (cp -r + fsync):   %.2f   (target <= 1.25)\n", up / sync
        printf "  downgrade / (cp -r + fsync): %.2f\n", down / sync
        printf "  unix2dos / upgrade:          %.1f   (target >= 10)\n", dos / up
        printf "  upgrade / copy-replace:      %.2f\n", up / replace
    }'
}

report_memory() {
    echo
    echo "Peak resident memory (/usr/bin/time -v), target < 4096 KiB:"
    echo "  $files files of $size: upgrade $(peak_rss "$dir/main" "") KiB," \
        "downgrade $(peak_rss "$dir/main" -r) KiB"
    if [ $large -eq 1 ]; then
        rm -rf "$dir/work" "$dir/copy" "$dir/main"
        mkdir "$dir/large"
        perl "$here/make_set.pl" "$dir/large" "$(bytes "$large_size")" "$large_files" "$mix" "$line"
        check_output "$dir/large" "" up >/dev/null
        echo "  $large_files files of $large_size: upgrade $(peak_rss "$dir/large" "") KiB," \
            "downgrade $(peak_rss "$dir/large" -r) KiB (upgrade output checked)"
    fi
}

ensure_tools
build_vrxport
prepare_dir
describe_machine
echo "Generating $files files of $size (mix $mix, $line-byte lines) in $dir"
mkdir "$dir/main"
perl "$here/make_set.pl" "$dir/main" "$(bytes "$size")" "$files" "$mix" "$line"
check_output "$dir/main" "" up
check_output "$dir/main" -r down
time_commands
report_times
report_memory
