#!/usr/bin/env bash
# Builds the Debian package in a build folder, checks it with lintian, desktop-file-validate and
# appstreamcli, unpacks it into a scratch root and runs the installed program from there:
# --version, then one offscreen start and close through the desktop entry's command.
# Usage: scripts/package.sh [build folder]   (default: build, configured and built already)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/velmora52_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/velmora52_*_amd64.deb)
echo "package: $deb ($(stat -c %s "$deb") bytes)"

# Figures of the checkers; any error stops the run.
lintian_out=$(lintian --allow-root "$deb" || true)
echo "lintian: $(grep -c '^E:' <<<"$lintian_out" || true) errors," \
     "$(grep -c '^W:' <<<"$lintian_out" || true) warnings"
[ -n "$lintian_out" ] && echo "$lintian_out"
if grep -q '^E:' <<<"$lintian_out"; then exit 1; fi

root=$(mktemp -d "${TMPDIR:-/tmp}/velmora52-root.XXXXXX")
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
desktop="$root/usr/share/applications/velmora52.desktop"
desktop-file-validate "$desktop" && echo "desktop-file-validate: passed"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml >/dev/null &&
    echo "appstreamcli validate: passed"

export PATH="$root/usr/bin:$PATH"
installed_version=$(velmora52 --version)
echo "installed: $installed_version"
[ "$(dpkg-deb -f "$deb" Version)" = "${installed_version#velmora52 }" ] ||
    { echo "package version differs from the program's" >&2; exit 1; }

# One start and close from the menu entry's command, on its own settings folder.
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
config="$root/config"
mkdir -p "$config"
XDG_CONFIG_HOME="$config" XDG_DATA_HOME="$root/data" QT_QPA_PLATFORM=offscreen $exec_line &
pid=$!
sleep 3
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || { echo "installed program ended with status $status" >&2; exit 1; }
[ -s "$config/Velmora52.ini" ] || { echo "installed program saved no settings" >&2; exit 1; }
echo "installed program: started offscreen from '$exec_line', closed, settings saved"
