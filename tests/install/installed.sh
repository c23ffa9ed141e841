# The checks of an installed Kiv, shared by the staging and package tests;
# sourced, with KIV_VERSION, KIV_BINDIR, KIV_HELP_FROM_PROGRAM and
# KIV_ENGINE_FROM_PROGRAM set.

failures=0

fail()
{
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# finish WHAT: the test's end, its exit status the verdict.
finish()
{
    if ((failures)); then
        echo "$1: $failures failures" >&2
        exit 1
    fi
    echo "$1: all checks pass"
}

# check_files PREFIX EXPECTED: the files and links under PREFIX are exactly
# those EXPECTED lists (relative to PREFIX, sorted).
check_files()
{
    local prefix=$1 expected=$2 found
    found=$(cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort)
    local missing extra
    missing=$(LC_ALL=C comm -23 <(LC_ALL=C sort "$expected") <(echo "$found"))
    extra=$(LC_ALL=C comm -13 <(LC_ALL=C sort "$expected") <(echo "$found"))
    [ -z "$missing" ] || fail "missing from the installation: $(echo $missing)"
    [ -z "$extra" ] || fail "not expected in the installation: $(echo $extra)"
}

# The file of the expected list that ends with SUFFIX.
listed()
{
    grep -m1 -- "$1\$" "$expected"
}

# run_installed ROOT WORK PROGRAM ARGS...: the installed program run from
# the root folder with a clean environment and a private home under WORK, so
# only what the installation holds (and the system's libraries) is found;
# KIV_STARTUP_PROBE is handed on when set.
run_installed()
{
    local root=$1 work=$2 program=$3
    shift 3
    (cd / && timeout 60 env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
        XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/run" LC_ALL=C.UTF-8 \
        QT_QPA_PLATFORM=offscreen ${KIV_STARTUP_PROBE:+KIV_STARTUP_PROBE=$KIV_STARTUP_PROBE} \
        "$root/$KIV_BINDIR/$program" "$@")
}

# expect_output WHAT WANT COMMAND...: COMMAND succeeds and its output holds
# the line WANT.
expect_output()
{
    local what=$1 want=$2 out
    shift 2
    if ! out=$("$@" 2>&1); then
        fail "$what failed: $out"
    elif ! grep -qxF -- "$want" <<<"$out"; then
        fail "$what printed '$out', not '$want'"
    fi
}

# check_installation ROOT WORK: the installation at ROOT (its prefix) works;
# WORK is a scratch folder.
check_installation()
{
    local root=$1 work=$2
    mkdir -p "$work/home" "$work/board"
    mkdir -m 0700 "$work/run"

    # The engine is a private library beside nothing else of the system: the
    # programs' RUNPATH leads from their own folder to it.
    local program runpath
    for program in kiv kivctl; do
        runpath=$(readelf -d "$root/$KIV_BINDIR/$program" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
        [ "$runpath" = "\$ORIGIN/$KIV_ENGINE_FROM_PROGRAM" ] || fail "$program has the RUNPATH '$runpath'"
    done
    [ -f "$root/$KIV_BINDIR/$KIV_ENGINE_FROM_PROGRAM/VBIS4032.DLL" ] || fail "no engine where the RUNPATH leads"
    [ -f "$root/$KIV_BINDIR/$KIV_HELP_FROM_PROGRAM/kiv.hlp" ] || fail "no help file where the program looks"
    [ ! -e "$root/$KIV_BINDIR/kiv.hlp" ] || fail "a help file among the programs"

    expect_output "kiv --version" "Kiv $KIV_VERSION" run_installed "$root" "$work" kiv --version
    expect_output "kiv --help" "Usage: kiv [--help | --version]" run_installed "$root" "$work" kiv --help
    expect_output "kivctl --version" "kivctl $KIV_VERSION" run_installed "$root" "$work" kivctl --version
    expect_output "kivctl --help" "Usage: kivctl [--board LOCATION] COMMAND [ARGUMENTS]" \
        run_installed "$root" "$work" kivctl --help

    # kivctl opens the board through the engine: a new board gets its first
    # user, whose status is then changed and listed.
    local board=$work/board out
    run_installed "$root" "$work" kivctl --board "$board" status "In meeting" >/dev/null 2>"$work/err" ||
        fail "kivctl status on a new board: $(cat "$work/err")"
    if ! out=$(run_installed "$root" "$work" kivctl --board "$board" board --csv 2>&1); then
        fail "kivctl board: $out"
    elif ! grep -q ',In meeting,' <<<"$out"; then
        fail "kivctl board does not list the status set: $out"
    fi

    # The program itself starts on that board, signs in and ends.
    mkdir -p "$work/home/.config/Brackwater"
    printf 'KivDBasePath = "%s/"\nFirstTimeRun = 0\n' "$board" >"$work/home/.config/Brackwater/Kiv.conf"
    out=$(KIV_STARTUP_PROBE=exit run_installed "$root" "$work" kiv 2>"$work/err") || true
    grep -q '^started 1$' <<<"$out" || fail "kiv did not start on the board: $out $(cat "$work/err")"

    # The desktop's data as the desktop reads it.
    local said
    said=$(desktop-file-validate "$root/$(listed /applications/kiv.desktop)" 2>&1) && [ -z "$said" ] ||
        fail "desktop-file-validate: $said"
    said=$(appstreamcli validate --no-net "$root/$(listed .metainfo.xml)" 2>&1) ||
        fail "appstreamcli validate: $said"
    local page
    for page in kiv.1.gz kivctl.1.gz; do
        gzip -t "$root/$(listed "/man1/$page")" || fail "$page is not a whole gzip file"
    done
    said=$(bash -c 'source "$1" && complete -p kivctl' bash "$root/$(listed /completions/kivctl)" 2>&1) ||
        fail "the bash completion registers nothing for kivctl: $said"
}
