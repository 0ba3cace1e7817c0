#!/usr/bin/env bash
# OpenSSL (libssl and libcrypto, static) for the Windows build, from Debian's
# own source package (see debian-source.sh): the web view's TLS, PBKDF2 and
# random generator are then the same code on both builds. Only the libraries
# are built: no programs, tests, documentation, engines or loadable modules.
#
#   openssl-windows.sh CACHE CC AR   -> prints the folder holding include/ and lib/
cache=$1 cc=$2 ar=$3
. "$(dirname "$0")/debian-source.sh"
machine=$("$cc" -dumpmachine)
toolchain="$machine-$("$cc" -dumpversion)"
debian_source_cached openssl "$cache" "$toolchain" lib/libssl.a && exit 0

debian_source_unpack openssl "$cache" "$toolchain" lib/libssl.a
case "$machine" in
x86_64-*) platform=mingw64 ;;
*) platform=mingw ;;
esac
staging="$cache/.staging-$$"
rm -rf "$staging"
./Configure "$platform" no-shared no-asm no-tests no-engine no-dso no-module no-legacy \
    no-ssl3 no-tls1 no-tls1_1 no-dtls --prefix="$staging" --libdir=lib \
    CC="$cc" AR="$ar" RANLIB="${ar%ar}ranlib" RC="${cc%gcc*}windres" >/dev/null
make -j"$(nproc)" build_libs >/dev/null
make install_dev >/dev/null
rm -rf "$staging/lib/pkgconfig"
debian_source_install "$staging"
