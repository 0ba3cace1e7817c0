# Sourced by the scripts that build a library for the Windows build from
# Debian's own source package: apt in a folder of its own (the machine's apt
# settings stay as they are), each file checked against the .dsc, unpacked
# with Debian's patches, and the result kept in a cache outside the build
# folder under the package's version and the compiler, so a later run builds
# nothing and a new Debian version or another compiler gets a build of its own.
#
#   debian_source_cached NAME CACHE TOOLCHAIN FILE  -> prints the folder to use, or builds nothing and returns 1
#   debian_source_unpack NAME CACHE TOOLCHAIN FILE  -> unpacks into ./source (in a scratch folder)
set -euo pipefail

say() { echo "$(basename "$0" .sh): $*" >&2; }

apt_dir=$(mktemp -d)
trap 'rm -rf "$apt_dir"' EXIT
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/work"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
cat >"$apt_dir/sources.list" <<LIST
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm main
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm-updates main
deb-src [signed-by=$keyring] http://deb.debian.org/debian-security bookworm-security main
LIST
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" -o APT::Sandbox::User=root)
source_version=""
source_versions=()

# Sets source_version and target; prints the cached folder and returns 0 when
# there is nothing to build (a build of this version, or with no package index
# any build with this compiler), returns 1 when the caller must build.
debian_source_cached() {
    local name=$1 cache=$2 toolchain=$3 file=$4 found
    if apt-get "${apt_options[@]}" update -q >"$apt_dir/update.log" 2>&1; then
        mapfile -t source_versions < <(apt-cache "${apt_options[@]}" showsrc "$name" |
            awk '/^Version:/ { print $2 }' | sort -Vr | uniq)
        source_version=${source_versions[0]:-}
    fi
    if [ -z "$source_version" ]; then
        # No index (offline, or the mirror mid-sync): any build already made with this compiler serves.
        found=$(ls -d "$cache/$name"-*-"$toolchain" 2>/dev/null | sort -V | tail -n 1 || true)
        if [ -n "$found" ] && [ -f "$found/$file" ]; then
            say "no package index; using $found"
            echo "$found"
            return 0
        fi
        say "cannot read Debian's source index, and nothing is cached in $cache:"
        cat "$apt_dir/update.log" >&2
        exit 1
    fi
    target="$cache/$name-$source_version-$toolchain"
    if [ -f "$target/$file" ]; then
        echo "$target"
        return 0
    fi
    return 1
}

# The newest version whose files the mirror has (one caught mid-sync may list
# a version it does not hold yet); a build of that one already cached serves.
debian_source_unpack() {
    local name=$1 cache=$2 toolchain=$3 file=$4 version dsc
    cd "$apt_dir/work"
    for version in "${source_versions[@]}"; do
        if apt-get "${apt_options[@]}" source --download-only "$name=$version" >"$apt_dir/fetch.log" 2>&1; then
            source_version=$version
            break
        fi
        say "$name $version is not on the mirror yet; trying the version before"
        rm -f ./*
    done
    dsc=$(ls ./*.dsc 2>/dev/null) || { cat "$apt_dir/fetch.log" >&2; exit 1; }
    target="$cache/$name-$source_version-$toolchain"
    if [ -f "$target/$file" ]; then
        echo "$target"
        exit 0
    fi
    say "building $name $source_version for $toolchain into $target"
    # Every file the .dsc names, with the size and SHA-256 it gives.
    awk '/^Checksums-Sha256:/ { on = 1; next } /^[^ ]/ { on = 0 } on && NF == 3 { print $1, $2, $3 }' "$dsc" |
        while read -r sum size file; do
            [ "$(stat -c %s "$file")" = "$size" ] || { say "$file: not the size the .dsc gives"; exit 1; }
            echo "$sum  $file" | sha256sum -c --quiet - >&2 || { say "$file: not the SHA-256 the .dsc gives"; exit 1; }
        done
    # Unpacked with Debian's patches (its security fixes among them) applied.
    dpkg-source --no-check -x "$dsc" source >&2
    cd source
}

# The finished build moved into place as one step, so that a stopped build leaves nothing half made.
debian_source_install() {
    local staging=$1
    rm -rf "$target"
    mv "$staging" "$target"
    echo "$target"
}
