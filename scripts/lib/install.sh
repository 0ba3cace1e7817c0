# Sourced by the scripts: installs Debian packages, getting through a package
# mirror caught mid-sync. When `apt-get update` could not fetch an index and
# the install then fails, it tries once more with the suite that failed ranked
# below the others (a preference removed afterwards, whatever happens).

pegora_apt_install() {
    [ $# -eq 0 ] && return 0
    local sudo="" arch pkg update_log
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    for pkg in "$@"; do
        case "$pkg" in *:*)
            arch=${pkg##*:}
            dpkg --print-foreign-architectures | grep -qx "$arch" || $sudo dpkg --add-architecture "$arch"
        esac
    done
    echo "== installing: $*"
    # The tests run slapd from their own configuration: no directory of the package's own.
    case " $* " in *" slapd "*) echo "slapd slapd/no_configuration boolean true" | $sudo debconf-set-selections ;; esac
    update_log=$(mktemp)
    $sudo apt-get update -q 2>&1 | tee "$update_log"
    # The suites whose indexes could not be fetched ("Mirror sync in progress?").
    local failed
    failed=$(grep -E '^(W|E): Failed to fetch' "$update_log" | grep -oE '/dists/[^/ ]+/' | cut -d/ -f3 | sort -u)
    rm -f "$update_log"
    if DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "$@"; then
        return 0
    fi
    if [ -z "$failed" ]; then
        echo "== could not install: $*" >&2
        return 1
    fi
    echo "== the mirror did not give every index (suites: $(echo $failed)); trying once more with those suites ranked lower"
    local prefs=/etc/apt/preferences.d/pegora-mirror-sync suite rc
    for suite in $failed; do
        printf 'Package: *\nPin: release n=%s\nPin-Priority: 100\n\nPackage: *\nPin: release a=%s\nPin-Priority: 100\n\n' \
            "$suite" "$suite"
    done | $sudo tee "$prefs" >/dev/null
    trap '$sudo rm -f "$prefs"' EXIT INT TERM
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "$@"
    rc=$?
    $sudo rm -f "$prefs"
    trap - EXIT INT TERM
    echo "== removed the temporary preference $prefs"
    if [ $rc -ne 0 ]; then
        echo "== could not install, even with ${failed//$'\n'/ } ranked lower: $*" >&2
        return 1
    fi
}
