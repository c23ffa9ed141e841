#!/usr/bin/env bash
# Installs the build into a staging folder, as a packager does, and checks
# the installation there: exactly the expected files, programs that find
# their engine and help file from their own folder wherever the installation
# is moved, and desktop data that the desktop's validators accept.
#
#   staged-install-test.sh BUILD_FOLDER EXPECTED_FILES
# with KIV_VERSION, KIV_BINDIR, KIV_HELP_FROM_PROGRAM and
# KIV_ENGINE_FROM_PROGRAM from the build's layout.
set -euo pipefail
build=$1
expected=$2
here=$(dirname "$0")
# shellcheck source=tests/install/installed.sh
source "$here/installed.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

DESTDIR=$work/stage cmake --install "$build" --prefix /usr >"$work/install.log" ||
    fail "cmake --install failed: $(cat "$work/install.log")"
check_files "$work/stage/usr" "$expected"

# Moved after installing: nothing may lead back to the prefix or the build.
mv "$work/stage/usr" "$work/moved"
check_installation "$work/moved" "$work"

finish "staged installation"
