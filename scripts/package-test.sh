#!/usr/bin/env bash
# Builds the packages and tries them for real. The Windows .zip must hold
# vrxport.exe, README.md and LICENSE at its root. For the Debian package,
# lintian must report no error, the package must hold the expected files with
# the expected owners and modes, dpkg must install it, the installed vrxport
# must convert the sample data set up and back down, and its manual page must
# be found and format cleanly. The package is removed again at the end,
# whatever happened.
# Installs into /usr, so it runs as root (CI does) or through sudo.
set -Eeuo pipefail
trap 'echo "package test failed at line $LINENO: $BASH_COMMAND" >&2' ERR
cd "$(dirname "$0")/.."
bash scripts/deps.sh g++ cmake make libgtest-dev dpkg-dev file lintian man-db groff-base mandoc \
    g++-mingw-w64-x86-64-posix googletest unzip

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
installed_state() { dpkg-query -W -f='${db:Status-Status}' vrxport 2>/dev/null || true; }
if [ -n "$(installed_state)" ] && [ "$(installed_state)" != not-installed ]; then
    echo "vrxport is already installed as a package; remove it first (dpkg --purge vrxport)" >&2
    exit 1
fi

echo "== building the package"
rm -f build/vrxport_*.deb
cmake --workflow --preset package
deb=$(echo build/vrxport_*.deb)
[ -f "$deb" ] || { echo "no package was built" >&2; exit 1; }

echo "== lintian $deb"
lintian --fail-on error --display-info "$deb"

echo "== contents"
expected="drwxr-xr-x root/root ./usr/
drwxr-xr-x root/root ./usr/bin/
-rwxr-xr-x root/root ./usr/bin/vrxport
drwxr-xr-x root/root ./usr/share/
drwxr-xr-x root/root ./usr/share/doc/
drwxr-xr-x root/root ./usr/share/doc/vrxport/
-rw-r--r-- root/root ./usr/share/doc/vrxport/changelog.Debian.gz
-rw-r--r-- root/root ./usr/share/doc/vrxport/copyright
drwxr-xr-x root/root ./usr/share/man/
drwxr-xr-x root/root ./usr/share/man/man1/
-rw-r--r-- root/root ./usr/share/man/man1/vrxport.1.gz"
diff -u <(echo "$expected") <(dpkg-deb --contents "$deb" | awk '{print $1, $2, $6}' | sort -k3)

echo "== the Windows .zip"
rm -f build-win/vrxport-*.zip
cmake --workflow --preset package-windows
zip=$(echo build-win/vrxport-*-win64.zip)
[ -f "$zip" ] || { echo "no .zip was built" >&2; exit 1; }
diff -u <(printf '%s\n' LICENSE README.md vrxport.exe) <(unzip -Z1 "$zip" | sort)
unzip -p "$zip" LICENSE | cmp - LICENSE
unzip -p "$zip" README.md | cmp - README.md
unzip -p "$zip" vrxport.exe | file - | grep -q 'PE32+ executable (console) x86-64'
echo "$zip holds vrxport.exe, README.md and LICENSE"

# dpkg refuses to start while another package tool holds its lock; wait for
# it rather than fail.
dpkg_waiting() {
    local attempt log
    log=$(mktemp)
    for attempt in $(seq 60); do
        if $sudo dpkg "$@" 2>"$log"; then
            rm -f "$log"
            return 0
        fi
        grep -q 'lock' "$log" || break
        sleep 5
    done
    cat "$log" >&2
    rm -f "$log"
    return 1
}

work=$(mktemp -d)
cleanup() {
    rm -rf "$work"
    [ "$(installed_state)" = not-installed ] || [ -z "$(installed_state)" ] ||
        dpkg_waiting --purge vrxport >/dev/null
}
trap cleanup EXIT

echo "== dpkg -i $deb"
# Some minimal systems tell dpkg to leave out manual pages and documentation;
# this package's own are wanted here.
dpkg_waiting -i --path-include='/usr/share/man/man1/vrxport.1.gz' \
    --path-include='/usr/share/doc/vrxport/*' "$deb"
[ "$(installed_state)" = installed ]

echo "== the installed /usr/bin/vrxport on the sample data set"
cp samples/*.vrx "$work"
expected_listing=$(cd samples && printf '%s\r\n' \
    "vrxport - VURO data file header converter (VER200 <-> VER210)" vuro*.vrx)
(
    cd "$work"
    [ "$(/usr/bin/vrxport)" = "$expected_listing" ]
    [ "$(head -n 1 vuro007.vrx)" = $'210 5 7\r' ]
    [ "$(/usr/bin/vrxport -r)" = "$expected_listing" ]
    for file in vuro*.vrx; do
        cmp "$file" "$OLDPWD/samples/$file"
    done
    status=0
    /usr/bin/vrxport -x >/dev/null || status=$?
    [ "$status" -eq 1 ]
)
echo "converted up and back down byte for byte"

echo "== the manual page"
page=$(man -w vrxport)
[ "$page" = /usr/share/man/man1/vrxport.1.gz ]
bash scripts/check-man-page.sh "$page"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings vrxport 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "$warnings"; exit 1; }
[ -f /usr/share/doc/vrxport/copyright ]

echo "== dpkg --purge vrxport"
dpkg_waiting --purge vrxport
[ "$(installed_state)" = not-installed ] || [ -z "$(installed_state)" ]
for path in /usr/bin/vrxport /usr/share/man/man1/vrxport.1.gz /usr/share/doc/vrxport; do
    [ ! -e "$path" ] || { echo "$path is still there after removal" >&2; exit 1; }
done
echo "package test passed: built, lint-free, installed, run, documented and removed"
