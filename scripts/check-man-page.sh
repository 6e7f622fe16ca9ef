#!/usr/bin/env bash
# Checks that a manual page (plain or gzip-compressed) formats without a
# single warning from groff and from mandoc's linter. Prints what they say and
# fails if either says anything.
set -euo pipefail
page=$1
# The linter compares the section in the name with the page's own, so the
# uncompressed copy keeps the page's name.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
text=$scratch/$(basename "${page%.gz}")
gzip -dcf "$page" >"$text"

complaints=$( (
    groff -ww -z -man "$text"
    mandoc -T lint "$text"
) 2>&1 | sed "s|$text|$page|g") || true
if [ -n "$complaints" ]; then
    printf '%s\n' "$complaints"
    echo "$page: the manual page does not format cleanly" >&2
    exit 1
fi
echo "$page: formats cleanly (groff -ww, mandoc -T lint)"
