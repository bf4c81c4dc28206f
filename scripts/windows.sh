#!/usr/bin/env bash
# Builds the recorder for Windows on Debian 12 with MinGW-w64, runs its tests
# under Wine and makes the installer.
#
#   bash scripts/windows.sh deps     install the tools, build the libraries once
#   bash scripts/windows.sh build    deps, then the .exe files and the installer
#   bash scripts/windows.sh test     build, then the tests under Wine
#
# The libraries (libpng, libjpeg-turbo, wxWidgets, libharu, and SQLite,
# libsodium, libqrencode, OpenSSL and libpq with stamps of their own) come from Debian's
# source packages and are built as static libraries into a cache outside the
# checkout, keyed by their versions: $VEMO_WIN_CACHE, by default
# ~/.cache/vemo-win. The first build takes about half an hour on two cores;
# later runs reuse it.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
STAGE="${1:-test}"
CACHE="${VEMO_WIN_CACHE:-$HOME/.cache/vemo-win}"
BUILD="${VEMO_WIN_BUILD:-$ROOT/build-win}"
HOST=x86_64-w64-mingw32
TOOLCHAIN="$ROOT/cmake/mingw-w64.cmake"
JOBS="$(nproc)"
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive

log() { echo "== $(date +%H:%M:%S) $*" >&2; }

install_tools() {
  local pkgs=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 nsis
              dpkg-dev cmake ninja-build make xvfb xauth
              matchbox-window-manager xdotool x11-utils poppler-utils tcl
              fonts-dejavu-core colord-data autoconf automake libtool gettext
              postgresql-15)
  local missing=()
  for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  # The library sources come from Debian's own source packages.
  if ! grep -rqs "deb-src" /etc/apt/sources.list.d/ /etc/apt/sources.list; then
    log "adding deb-src entries for the same suites"
    $SUDO tee /etc/apt/sources.list.d/debian-src.sources >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    missing+=(__update__)
  fi
  if [ ${#missing[@]} -gt 0 ]; then
    $SUDO apt-get update -q
    local real=()
    for p in "${missing[@]}"; do [ "$p" = __update__ ] || real+=("$p"); done
    if [ ${#real[@]} -gt 0 ]; then
      $SUDO apt-get install -y -q --no-install-recommends "${real[@]}"
    fi
  fi
}

# The version Debian's source index gives for a source package.
source_version() {
  apt-cache showsrc "$1" | awk '/^Version:/ {print $2; exit}'
}

fetch_source() { # package -> directory of its unpacked upstream tarball
  local pkg="$1" dir="$CACHE/src/$1"
  if [ ! -d "$dir/unpacked" ]; then
    mkdir -p "$dir" && (cd "$dir" && apt-get source --download-only -q "$pkg" >&2 || true)
    local orig
    orig="$(ls "$dir"/*.orig.tar.* 2>/dev/null | grep -v '\.asc$' | head -1)"
    [ -n "$orig" ] || { echo "no source tarball for $pkg" >&2; exit 1; }
    mkdir -p "$dir/unpacked.tmp" && tar -xf "$orig" -C "$dir/unpacked.tmp" --strip-components=1
    mv "$dir/unpacked.tmp" "$dir/unpacked"
  fi
  echo "$dir/unpacked"
}

build_deps() {
  install_tools
  local key
  key="png-$(source_version libpng1.6)_jpeg-$(source_version libjpeg-turbo)_wx-$(source_version wxwidgets3.2)_hpdf-$(source_version libharu)"
  key="${key//[^A-Za-z0-9._+-]/_}"
  PREFIX="$CACHE/$key"
  if [ -f "$PREFIX/.complete" ]; then
    log "libraries cached in $PREFIX"
    build_sqlite
    build_sodium
    build_qrencode
    build_openssl
    build_libpq
    build_json
    return
  fi
  log "building the libraries into $PREFIX"
  mkdir -p "$PREFIX"
  local src
  src="$(fetch_source libpng1.6)"
  cmake -S "$src" -B "$CACHE/work/png" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" \
    -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF >&2
  cmake --build "$CACHE/work/png" --target install >&2
  src="$(fetch_source libjpeg-turbo)"
  cmake -S "$src" -B "$CACHE/work/jpeg" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" \
    -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF >&2
  cmake --build "$CACHE/work/jpeg" --target install >&2
  src="$(fetch_source libharu)"
  cmake -S "$src" -B "$CACHE/work/hpdf" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" \
    -DLIBHPDF_SHARED=OFF -DLIBHPDF_STATIC=ON -DLIBHPDF_EXAMPLES=OFF \
    -DPNG_PNG_INCLUDE_DIR="$PREFIX/include" -DPNG_LIBRARY="$PREFIX/lib/libpng16.a" \
    -DZLIB_INCLUDE_DIR=/usr/$HOST/include -DZLIB_LIBRARY=/usr/$HOST/lib/libz.a >&2
  cmake --build "$CACHE/work/hpdf" --target install >&2
  src="$(fetch_source wxwidgets3.2)"
  mkdir -p "$CACHE/work/wx"
  (cd "$CACHE/work/wx" &&
   CPPFLAGS="-I$PREFIX/include" LDFLAGS="-L$PREFIX/lib" "$src/configure" \
     --host=$HOST --build=x86_64-linux-gnu --with-msw --disable-shared \
     --enable-monolithic --with-libpng=sys --with-libjpeg=sys --without-libtiff \
     --with-zlib=sys --without-expat --disable-xrc --disable-html --disable-richtext \
     --disable-propgrid --disable-ribbon --disable-stc --disable-aui \
     --disable-webview --disable-mediactrl --prefix="$PREFIX" >&2 &&
   nice make -j"$JOBS" >&2
  make install >&2)
  touch "$PREFIX/.complete"
  rm -rf "$CACHE/work"
  log "libraries built"
  build_sqlite
  build_sodium
  build_qrencode
  build_openssl
  build_libpq
  build_json
}

# The libraries added after the first ones (SQLite, libsodium, libqrencode, OpenSSL, libpq, JSON)
# are kept in the same prefix, each with a stamp of its own version, so a new
# one never rebuilds the others: build_once NAME PACKAGE STEP runs STEP in an
# empty work folder with the unpacked source's directory, unless that
# version's stamp is there.
build_once() {
  local name="$1" pkg="$2" step="$3" version stamp src
  version="$(source_version "$pkg")"
  stamp="$PREFIX/.$name-${version//[^A-Za-z0-9._+-]/_}"
  [ -f "$stamp" ] && return
  log "building $pkg $version into $PREFIX"
  src="$(fetch_source "$pkg")"
  rm -rf "$CACHE/work/$name" && mkdir -p "$CACHE/work/$name"
  # Not in a && list, so that a failing command of the step ends it here.
  (cd "$CACHE/work/$name"; "$step" "$src")
  rm -rf "$CACHE/work/$name"
  touch "$stamp"
}

# SQLite, the record store's engine: its single C file is made from the
# source tree with the build machine's tools (tclsh among them), then
# compiled for Windows.
sqlite_step() {
  "$1/configure" --disable-tcl >&2
  make sqlite3.c >&2
  $HOST-gcc-posix -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_FTS5 -c sqlite3.c -o sqlite3.o
  $HOST-ar rcs libsqlite3.a sqlite3.o
  mkdir -p "$PREFIX/include" "$PREFIX/lib"
  cp sqlite3.h sqlite3ext.h "$PREFIX/include/"
  cp libsqlite3.a "$PREFIX/lib/"
}

# libsodium: the hashes of the reports and the password hash. Debian's
# tarball is the source tree without the generated configure.
sodium_step() {
  [ -x "$1/configure" ] || (cd "$1" && autoreconf -ivf >&2)
  "$1/configure" --host=$HOST --build=x86_64-linux-gnu --disable-shared \
    --enable-static --disable-ssp --prefix="$PREFIX" >&2
  nice make -j"$JOBS" >&2
  make install >&2
}

# libqrencode: the code on the page.
qrencode_step() {
  cmake -S "$1" -B . -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" -DWITH_TOOLS=NO \
    -DWITH_TESTS=NO -DBUILD_SHARED_LIBS=OFF >&2
  cmake --build . --target install >&2
}

# OpenSSL, the plant server link's TLS: its two libraries and headers only,
# static, for libpq.
openssl_step() {
  perl "$1/Configure" mingw64 --cross-compile-prefix=$HOST- no-shared no-tests \
    no-module no-engine --prefix="$PREFIX" --libdir=lib >&2
  nice make -j"$JOBS" build_libs >&2
  make install_dev >&2
}

# libpq, the plant server's client, from PostgreSQL's source: only the parts
# it is made of (the common and port code and the library itself), with
# OpenSSL for TLS, without Kerberos or LDAP. Its own archive is an import
# library for the DLL, so the static one is made from its objects.
libpq_step() {
  CC=$HOST-gcc-posix CPPFLAGS="-I$PREFIX/include" LDFLAGS="-L$PREFIX/lib" \
    LIBS="-lws2_32 -lcrypt32 -lgdi32 -ladvapi32 -luser32" "$1/configure" \
    --host=$HOST --build=x86_64-linux-gnu \
    --without-readline --without-zlib --without-icu --with-openssl \
    --without-gssapi --without-ldap --prefix="$PREFIX" >&2
  for part in src/include src/common src/port src/interfaces/libpq; do
    nice make -C "$part" -j"$JOBS" >&2
  done
  mkdir -p "$PREFIX/include" "$PREFIX/lib"
  # libpq brings a few pthread functions of its own on Windows, on types of
  # its own; they are renamed so the program's threads keep MinGW's.
  local sym syms=pq-pthread.syms
  : > "$syms"
  for sym in pthread_self pthread_getspecific pthread_setspecific pthread_mutex_init \
             pthread_mutex_lock pthread_mutex_unlock; do
    echo "$sym pq_$sym" >> "$syms"
  done
  rm -f "$PREFIX/lib/libpq.a"
  local objects=()
  for obj in $(ls src/interfaces/libpq/*.o | grep -v win32ver.o); do
    $HOST-objcopy --redefine-syms="$syms" "$obj" "$obj.renamed.o"
    objects+=("$obj.renamed.o")
  done
  $HOST-ar rcs "$PREFIX/lib/libpq.a" "${objects[@]}"
  cp src/common/libpgcommon_shlib.a "$PREFIX/lib/libpgcommon.a"
  cp src/port/libpgport_shlib.a "$PREFIX/lib/libpgport.a"
  cp "$1/src/interfaces/libpq/libpq-fe.h" "$1/src/include/postgres_ext.h" \
    src/include/pg_config_ext.h "$PREFIX/include/"
}

# nlohmann's JSON library, the mounting programs' files: a header only, from
# its source package.
json_step() {
  mkdir -p "$PREFIX/include"
  rm -rf "$PREFIX/include/nlohmann"
  cp -r "$1/single_include/nlohmann" "$PREFIX/include/"
}

build_sqlite() { build_once sqlite sqlite3 sqlite_step; }
build_json() { build_once json nlohmann-json3 json_step; }
build_openssl() { build_once openssl openssl openssl_step; }
# "libpq-tls": the stamp of the build with OpenSSL, so that a cache holding
# the one without it builds it again.
build_libpq() { build_once libpq-tls postgresql-15 libpq_step; }
build_sodium() { build_once sodium libsodium sodium_step; }
build_qrencode() { build_once qrencode qrencode qrencode_step; }

build_program() {
  build_deps
  log "building the recorder for Windows in $BUILD"
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DVEMO_WIN_PREFIX="$PREFIX" >&2
  cmake --build "$BUILD" >&2
  (cd "$BUILD" && cpack -G NSIS >&2)
  log "built: $(ls "$BUILD"/*.exe | tr '\n' ' ')"
}

case "$STAGE" in
  deps) build_deps ;;
  build) build_program ;;
  test) build_program; bash "$ROOT/tests/windows/run_wine_tests.sh" "$BUILD" ;;
  *) echo "usage: $0 deps|build|test" >&2; exit 2 ;;
esac
