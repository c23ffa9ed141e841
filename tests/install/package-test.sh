#!/usr/bin/env bash
# Builds the Debian package of the build and checks it: it holds exactly the
# expected files under /usr, owned by root; its dependencies name the
# libraries the programs and the engine link; its changelog names its
# version; lintian finds neither errors nor warnings in it; it installs into
# a private dpkg root, where the installed programs work, and its removal
# leaves nothing.
#
#   package-test.sh BUILD_FOLDER EXPECTED_FILES
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

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    fail "cpack failed: $(cat "$work/cpack.log")"
packages=("$work"/out/kiv_"$KIV_VERSION"_*.deb)
[ -f "${packages[0]}" ] || {
    fail "no package kiv_${KIV_VERSION}_*.deb: $(cat "$work/cpack.log")"
    finish "Debian package"
}
package=${packages[0]}

# The file list, from the package's own table of contents.
sed 's|^|usr/|' "$expected" >"$work/expected"
dpkg-deb --contents "$package" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./||' | LC_ALL=C sort >"$work/listed"
missing=$(LC_ALL=C comm -23 <(LC_ALL=C sort "$work/expected") "$work/listed")
extra=$(LC_ALL=C comm -13 <(LC_ALL=C sort "$work/expected") "$work/listed")
[ -z "$missing" ] || fail "missing from the package: $(echo $missing)"
[ -z "$extra" ] || fail "not expected in the package: $(echo $extra)"
owners=$(dpkg-deb --contents "$package" | awk '$2 != "root/root" { print $6 }')
[ -z "$owners" ] || fail "not owned by root: $(echo $owners)"

# Worked out by dpkg-shlibdeps: the C and C++ runtimes, Qt for the program,
# SQLite for the engine (which only the engine links). A name may carry the
# suffix of a distribution's ABI transition (libqt6core6t64).
depends=$(dpkg-deb --field "$package" Depends)
names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/^ *//; s/[ (].*//')
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libsqlite3-0; do
    grep -qxF -e "$library" -e "${library}t64" <<<"$names" || fail "the package does not depend on $library: $depends"
done
[ "$(dpkg-deb --field "$package" Package)" = kiv ] || fail "the package is not named kiv"
[ "$(dpkg-deb --field "$package" Version)" = "$KIV_VERSION" ] || fail "the package is not version $KIV_VERSION"
dpkg-deb --fsys-tarfile "$package" | tar -xOf - ./usr/share/doc/kiv/changelog.gz | gunzip >"$work/changelog" ||
    fail "the package has no readable changelog"
changed=$(dpkg-parsechangelog -l "$work/changelog" -S Version 2>&1) || true
[ "$changed" = "$KIV_VERSION" ] || fail "the changelog's latest entry is $changed, not $KIV_VERSION"

# Debian's own checks of a package, errors and warnings alike.
if command -v lintian >/dev/null; then
    lintian --fail-on error,warning "$package" >"$work/lintian.log" 2>&1 || fail "lintian: $(cat "$work/lintian.log")"
else
    fail "lintian is not installed (scripts/setup.sh installs it)"
fi

# Installed into a root of its own, with a dpkg database of its own: the
# system's libraries are there already, so its dependencies are not asked.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
# The package has no maintainer scripts, so nothing runs on the host.
dpkg=(env PATH="/usr/sbin:/sbin:$PATH" dpkg --root="$root" --log=/dev/null --force-not-root --force-depends)
"${dpkg[@]}" --install "$package" >"$work/dpkg.log" 2>&1 || fail "dpkg --install: $(cat "$work/dpkg.log")"
[ "$(dpkg-query --admindir="$root/var/lib/dpkg" --show --showformat='${Status}' kiv)" = "install ok installed" ] ||
    fail "the package is not installed"
check_files "$root/usr" "$expected"
check_installation "$root/usr" "$work"

"${dpkg[@]}" --purge kiv >"$work/dpkg.log" 2>&1 || fail "dpkg --purge: $(cat "$work/dpkg.log")"
left=$(cd "$root" && find . -mindepth 1 -not -path './var' -not -path './var/lib' -not -path './var/lib/dpkg*')
[ -z "$left" ] || fail "left after removal: $(echo $left)"

finish "Debian package"
