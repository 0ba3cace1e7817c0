#!/usr/bin/env bash
# SQLite for the Windows build, from Debian's own source package (see
# debian-source.sh): the one-file sqlite3.c made by the source's own build
# (tclsh) and compiled with the mingw toolchain.
#
#   sqlite-windows.sh CACHE CC AR   -> prints the folder holding include/ and lib/
cache=$1 cc=$2 ar=$3
. "$(dirname "$0")/debian-source.sh"
toolchain="$("$cc" -dumpmachine)-$("$cc" -dumpversion)"
debian_source_cached sqlite3 "$cache" "$toolchain" lib/libsqlite3.a && exit 0

debian_source_unpack sqlite3 "$cache" "$toolchain" lib/libsqlite3.a
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
debian_source_install "$staging"
