#!/usr/bin/env bash
# Builds vrxport and runs it on the sample data set in a scratch directory:
# an upgrade, then a downgrade, showing the headers at each step and checking
# that the files come back byte for byte.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh g++ cmake make
cmake --preset release -DVRXPORT_TESTS=OFF >/dev/null
cmake --build --preset release >/dev/null
tool=$PWD/build/vrxport

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp samples/*.vrx "$work"
cd "$work"

show_headers() {
    echo "-- $1"
    for file in vuro*.vrx; do
        # The first two lines, CR shown as \r and each line end as $.
        printf '%s: %s\n' "$file" "$(head -n 2 "$file" | cut -c 1-40 | sed -n l | tr '\n' ' ')"
    done
}

show_headers "headers as shipped"
"$tool"
show_headers "after vrxport (upgrade)"
"$tool" -r
show_headers "after vrxport -r (downgrade)"
for file in vuro*.vrx; do
    cmp "$file" "$OLDPWD/samples/$file"
done
echo "-- every file is back byte for byte"
