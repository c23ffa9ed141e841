#!/usr/bin/env bash
# Validates the desktop data in data/: the desktop entry, the AppStream
# metainfo, the man pages and the bash completion. Needs desktop-file-utils,
# appstream and man-db (or groff).
set -euo pipefail
cd "$(dirname "$0")/.."

failed=0
fail()
{
    echo "FAILED: $*" >&2
    failed=1
}

for tool in desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null || fail "$tool is missing (apt-get install desktop-file-utils appstream)"
done

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate data/kiv.desktop || fail "data/kiv.desktop"
fi

if command -v appstreamcli >/dev/null; then
    for metainfo in data/*.metainfo.xml; do
        # Offline, so that the result does not depend on the network.
        appstreamcli validate --no-net "$metainfo" || fail "$metainfo"
    done
fi

for page in data/man/*.1; do
    # Both formatters exit 0 on warnings; any text on standard error is one.
    if command -v man >/dev/null; then
        warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    else
        warnings=$(groff -ww -man -Tutf8 -z "$page" 2>&1)
    fi
    if [ -n "$warnings" ]; then
        echo "$warnings" >&2
        fail "$page"
    fi
done

bash -n data/completion/kivctl || fail "data/completion/kivctl"

if ((failed)); then
    exit 1
fi
echo "The desktop data is valid."
