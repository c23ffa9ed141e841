#!/usr/bin/env bash
# Installs the Debian packages Kiv builds with, when any is missing.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    libsqlite3-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-multimedia-dev fonts-dejavu-core
    xvfb openbox strace
    clang clang-format libclang-rt-14-dev
    # The desktop data's validators, and what the Debian package is built with.
    desktop-file-utils appstream man-db dpkg-dev file lintian
    # The board page's tests: a real browser and a strict HTML5 parser.
    chromium python3-html5lib
    # A board on a server: the client library, and a server the tests start.
    postgresql libpq-dev
    # Desktop signals: a private session bus for the tests, the X11 idle time.
    dbus libxss-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
