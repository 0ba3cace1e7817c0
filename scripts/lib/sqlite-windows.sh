#!/usr/bin/env bash
# SQLite for the Windows build, from Debian's own source package: fetched with
# apt in a folder of its own (the machine's apt settings stay as they are), each
# file checked against the .dsc, unpacked with Debian's patches, the one-file
# sqlite3.c made by the source's own build (tclsh), compiled with the mingw
# toolchain and kept in a cache outside the build folder. A later run finds it there and builds nothing; a new Debian
# version or another compiler gets a build of its own.
#
#   sqlite-windows.sh CACHE CC AR   -> prints the folder holding include/ and lib/
set -euo pipefail
cache=$1 cc=$2 ar=$3
toolchain="$("$cc" -dumpmachine)-$("$cc" -dumpversion)"
say() { echo "sqlite-windows: $*" >&2; }

apt_dir=$(mktemp -d)
trap 'rm -rf "$apt_dir"' EXIT
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/work"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
cat >"$apt_dir/sources.list" <<EOF
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm main
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm-updates main
deb-src [signed-by=$keyring] http://deb.debian.org/debian-security bookworm-security main
EOF
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" -o APT::Sandbox::User=root)

version=""
if apt-get "${apt_options[@]}" update -q >"$apt_dir/update.log" 2>&1; then
    version=$(apt-cache "${apt_options[@]}" showsrc sqlite3 | awk '/^Version:/ { print $2 }' | sort -V | tail -n 1)
fi
if [ -z "$version" ]; then
    # No index (offline, or the mirror mid-sync): any build already made with this compiler serves.
    found=$(ls -d "$cache"/sqlite3-*-"$toolchain" 2>/dev/null | sort -V | tail -n 1 || true)
    if [ -n "$found" ] && [ -f "$found/lib/libsqlite3.a" ]; then
        say "no package index; using $found"
        echo "$found"
        exit 0
    fi
    say "cannot read Debian's source index, and nothing is cached in $cache:"
    cat "$apt_dir/update.log" >&2
    exit 1
fi

target="$cache/sqlite3-$version-$toolchain"
if [ -f "$target/lib/libsqlite3.a" ] && [ -f "$target/include/sqlite3.h" ]; then
    echo "$target"
    exit 0
fi

say "building SQLite $version for $toolchain into $target"
cd "$apt_dir/work"
apt-get "${apt_options[@]}" source --download-only "sqlite3=$version" >&2
dsc=$(ls ./*.dsc)
# Every file the .dsc names, with the size and SHA-256 it gives.
awk '/^Checksums-Sha256:/ { on = 1; next } /^[^ ]/ { on = 0 } on && NF == 3 { print $1, $2, $3 }' "$dsc" |
    while read -r sum size file; do
        [ "$(stat -c %s "$file")" = "$size" ] || { say "$file: not the size the .dsc gives"; exit 1; }
        echo "$sum  $file" | sha256sum -c --quiet - >&2 || { say "$file: not the SHA-256 the .dsc gives"; exit 1; }
    done
# Unpacked with Debian's patches (its security fixes among them) applied.
dpkg-source --no-check -x "$dsc" source >&2
cd source
./configure --disable-tcl --disable-readline >/dev/null
make sqlite3.c >/dev/null
# Threads as the board uses them; no loading of extensions into a service.
"$cc" -O2 -c sqlite3.c -o sqlite3.o -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION -DSQLITE_DQS=0 \
    -DSQLITE_DEFAULT_WAL_SYNCHRONOUS=1
staging="$cache/.staging-$$"
rm -rf "$staging"
mkdir -p "$staging/lib" "$staging/include"
"$ar" rcs "$staging/lib/libsqlite3.a" sqlite3.o
cp sqlite3.h sqlite3ext.h "$staging/include/"
rm -rf "$target"
mv "$staging" "$target"
echo "$target"
