#!/usr/bin/env bash
# Installs every Debian 12 package that building, testing and running the tuner needs.
# Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  qt6-base-dev qt6-serialport-dev libqt6serialport6 qt6-qpa-plugins
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth x11-utils imagemagick fonts-dejavu-core
  clang-format socat fonts-dejavu-extra poppler-utils
  dpkg-dev lintian desktop-file-utils appstream
  libqcustomplot-dev nodejs locales
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# Some node builds bring npm along; Debian's nodejs does not.
command -v npm >/dev/null || missing+=(npm)

# The independent MLG reader the log tests check with, from the npm registry.
install_test_tools() {
  local tools
  tools="$(cd "$(dirname "$0")/../tests/tools" && pwd)"
  [ -f "$tools/node_modules/mlg-converter/package.json" ] && return 0
  (cd "$tools" && npm install --no-audit --no-fund --loglevel=error >/dev/null) ||
    echo "install-deps: mlg-converter could not be installed from npm" >&2
}
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

# The tests write every file under a Czech and a German locale (decimal commas).
make_locales() {
  local name available
  available="$(locale -a 2>/dev/null || true)"
  for name in cs_CZ de_DE; do
    grep -qi "^${name}\.utf-\?8$" <<<"$available" && continue
    "${sudo_cmd[@]}" localedef -i "$name" -f UTF-8 "$name.UTF-8" ||
      echo "install-deps: the locale $name.UTF-8 could not be made" >&2
  done
}

if [ ${#missing[@]} -eq 0 ]; then
  make_locales
  install_test_tools
  exit 0
fi

if [ ${#sudo_cmd[@]} -gt 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: run as root or install sudo" >&2; exit 1; }
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
make_locales
install_test_tools
