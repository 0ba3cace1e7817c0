# Sourced by the scripts: which kind of machine this is, found out once.
# Some machines run 64-bit user code only ("IA-32 emulation off"): there no
# 32-bit program starts, Wine's 32-bit loader included, so the Windows tests
# run on the 64-bit Windows build under Wine's 64-bit loader instead.
#
# Sets PEGORA_IA32 (yes|no), PEGORA_WIN_PRESET (win32|win64), PEGORA_WIN_ARCH
# (i686|x86_64) and, on a 64-bit-only machine, PEGORA_WINE (the 64-bit loader).
# PEGORA_IA32=yes|no set beforehand forces the choice.

# A 93-byte static i386 program that only exits with 0: if it runs, so does
# every 32-bit program.
pegora_runs_ia32() {
    local probe
    probe=$(mktemp /tmp/pegora-ia32.XXXXXX) || return 1
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\061\333\315\200' >"$probe"
    chmod +x "$probe"
    "$probe" 2>/dev/null
    local rc=$?
    rm -f "$probe"
    return $rc
}

pegora_machine() {
    [ -n "${PEGORA_WIN_PRESET:-}" ] && return 0
    local why
    case "${PEGORA_IA32:-}" in
        yes) why="forced by PEGORA_IA32=yes" ;;
        no) why="forced by PEGORA_IA32=no" ;;
        *)
            if pegora_runs_ia32; then
                PEGORA_IA32=yes why="a 32-bit program starts here"
            else
                PEGORA_IA32=no why="a 32-bit program fails here with Exec format error"
            fi
            ;;
    esac
    if [ "$PEGORA_IA32" = yes ]; then
        PEGORA_WIN_PRESET=win32 PEGORA_WIN_ARCH=i686
        echo "== machine: runs 32-bit code ($why): the Windows tests run on the 32-bit build (win32) under Wine"
    else
        PEGORA_WIN_PRESET=win64 PEGORA_WIN_ARCH=x86_64
        export PEGORA_WINE=/usr/lib/wine/wine64
        echo "== machine: 64-bit code only ($why): the Windows tests run on the 64-bit build (win64) under" \
            "Wine's 64-bit loader; the 32-bit programs and installers are built and checked, not run"
    fi
    export PEGORA_IA32 PEGORA_WIN_PRESET PEGORA_WIN_ARCH
}
