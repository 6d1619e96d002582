#!/usr/bin/env bash
# Cross-builds the core's libraries for 64-bit Windows (MinGW-w64, posix threads) from Debian's own
# sources: SQLite, LZ4 and ICU by `apt-get source`, GoogleTest from /usr/src/googletest. Each is built
# once into a prefix outside the source tree ($MAROVEX_WIN_DEPS, default ~/.cache/marovex/win-deps) and
# skipped when its stamp is there. ICU takes the longest (a host build for its tools, then the cross
# build with its data linked in statically).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/tools/deps.sh"
marovex_ensure_packages "${MAROVEX_WINDOWS_PACKAGES[@]}"
prefix=${MAROVEX_WIN_DEPS:-$HOME/.cache/marovex/win-deps}
work=$prefix.build
jobs=${MAROVEX_JOBS:-$(nproc)}
host=x86_64-w64-mingw32
export CC=$host-gcc-posix CXX=$host-g++-posix AR=$host-ar RANLIB=$host-ranlib
mkdir -p "$prefix"/{include,lib,lib/pkgconfig} "$work"

done_stamp() { [ -f "$prefix/.$1.done" ]; }
mark_done() { touch "$prefix/.$1.done"; }

# apt-get source through source indexes of our own, so that the system's apt setup stays untouched.
fetch_source() {
  local pkg=$1 apt=$work/apt
  if [ ! -d "$apt/lists" ]; then
    mkdir -p "$apt/sources.list.d" "$apt/lists/partial"
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$apt/sources.list.d/src.sources"
    apt-get -qq -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt/sources.list.d" \
      -o Dir::State::Lists="$apt/lists" update
  fi
  (cd "$work" && apt-get -qq -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt/sources.list.d" \
    -o Dir::State::Lists="$apt/lists" source "$pkg" >/dev/null)
}

source_dir() { find "$work" -maxdepth 1 -type d -name "$1-*" | sort | tail -n 1; }

if ! done_stamp sqlite3; then
  echo "-- SQLite"
  [ -n "$(source_dir sqlite3)" ] || fetch_source sqlite3
  src=$(source_dir sqlite3)
  # The amalgamation is generated on the host (it needs tclsh), then compiled for Windows alone.
  (mkdir -p "$work/sqlite-host" && cd "$work/sqlite-host" &&
    CC=gcc CXX=g++ AR=ar RANLIB=ranlib "$src/configure" --disable-tcl >/dev/null && make -s sqlite3.c >/dev/null)
  $CC -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_FTS5 -c "$work/sqlite-host/sqlite3.c" -o "$work/sqlite-host/sqlite3.o"
  rm -f "$prefix/lib/libsqlite3.a"
  $AR rcs "$prefix/lib/libsqlite3.a" "$work/sqlite-host/sqlite3.o"
  cp "$work/sqlite-host/sqlite3.h" "$src/src/sqlite3ext.h" "$prefix/include/" 2>/dev/null ||
    cp "$work/sqlite-host/sqlite3.h" "$prefix/include/"
  cat >"$prefix/lib/pkgconfig/sqlite3.pc" <<PC
prefix=$prefix
Name: SQLite
Description: SQL database engine (static, for Windows)
Version: 3
Libs: -L\${prefix}/lib -lsqlite3
Cflags: -I\${prefix}/include
PC
  mark_done sqlite3
fi

if ! done_stamp lz4; then
  echo "-- LZ4"
  [ -n "$(source_dir lz4)" ] || fetch_source lz4
  src=$(source_dir lz4)
  objs=()
  for c in lz4 lz4hc lz4frame xxhash; do
    $CC -O3 -c "$src/lib/$c.c" -o "$work/lz4-$c.o"
    objs+=("$work/lz4-$c.o")
  done
  rm -f "$prefix/lib/liblz4.a"
  $AR rcs "$prefix/lib/liblz4.a" "${objs[@]}"
  cp "$src"/lib/lz4.h "$src"/lib/lz4hc.h "$src"/lib/lz4frame.h "$prefix/include/"
  cat >"$prefix/lib/pkgconfig/liblz4.pc" <<PC
prefix=$prefix
Name: lz4
Description: fast lossless compression (static, for Windows)
Version: 1
Libs: -L\${prefix}/lib -llz4
Cflags: -I\${prefix}/include
PC
  mark_done lz4
fi

if ! done_stamp googletest; then
  echo "-- GoogleTest"
  cmake -S /usr/src/googletest -B "$work/googletest" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON >/dev/null
  cmake --build "$work/googletest" -j "$jobs" >/dev/null
  cmake --install "$work/googletest" >/dev/null
  mark_done googletest
fi

if ! done_stamp icu; then
  echo "-- ICU (a host build for its tools, then the Windows one; the longest step)"
  [ -n "$(source_dir icu)" ] || fetch_source icu
  src=$(source_dir icu)/source
  chmod +x "$src/configure" "$src/runConfigureICU" 2>/dev/null || true
  if [ ! -f "$work/icu-host/.built" ]; then
    mkdir -p "$work/icu-host"
    (cd "$work/icu-host" && CC=gcc CXX=g++ AR=ar RANLIB=ranlib "$src/configure" --disable-tests \
      --disable-samples --disable-extras --disable-icuio --disable-layoutex >/dev/null &&
      make -s -j "$jobs" >/dev/null && touch .built)
  fi
  mkdir -p "$work/icu-win"
  (cd "$work/icu-win" && "$src/configure" --host=$host --with-cross-build="$work/icu-host" \
    --prefix="$prefix" --enable-static --disable-shared --with-data-packaging=static --disable-tests \
    --disable-samples --disable-extras --disable-icuio --disable-layoutex --disable-tools >/dev/null &&
    make -s -j "$jobs" >/dev/null && mkdir -p "$prefix/bin" && make -s install >/dev/null)
  # MinGW's ICU installs its data as bin/sicudt.a and leaves the stub data under lib/libsicudt.a: the
  # real data goes where the linker looks.
  cp "$work/icu-win/lib/sicudt.a" "$prefix/lib/libsicudt.a"
  mark_done icu
fi
echo "Windows dependencies ready in $prefix"
