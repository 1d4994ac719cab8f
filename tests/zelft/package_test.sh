#!/usr/bin/env bash
# The installed package: installs the build into a temporary prefix, builds
# examples/host against it with find_package(zel32) and with pkg-config, and
# runs both builds against the installed zeld.
#
#   package_test.sh BUILD_DIR SOURCE_DIR C_COMPILER "C_FLAGS"
set -euo pipefail
build=$1 source=$2 compiler=$3 flags=${4:-}

work=$(mktemp -d)
source "$source/examples/zeld_on_loopback.sh"
trap 'stop_zeld; rm -rf "$work"' EXIT

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" > "$work/install.log"
libdir=$(dirname "$(find "$prefix" -name 'libzel32.so' | head -1)")
for installed in "$prefix/include/zel32.h" "$libdir/libzel32.so" "$libdir/pkgconfig/zel32.pc" \
                 "$libdir/cmake/zel32/zel32Config.cmake" "$prefix/bin/zeld" "$prefix/bin/zelft"; do
  [ -e "$installed" ] || { echo "not installed: $installed"; exit 1; }
done
soname=$(readelf -d "$libdir/libzel32.so" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
[ "$soname" = "libzel32.so.1" ] || { echo "SONAME is '$soname'"; exit 1; }

# With find_package.
cmake -S "$source/examples/host" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
      -DCMAKE_C_COMPILER="$compiler" -DCMAKE_C_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" \
      > "$work/configure.log" || { cat "$work/configure.log"; exit 1; }
cmake --build "$work/cmake-build" > "$work/build.log" || { cat "$work/build.log"; exit 1; }

# With pkg-config.
export PKG_CONFIG_PATH=$libdir/pkgconfig
# shellcheck disable=SC2046,SC2086
"$compiler" $flags "$source/examples/host/fetch.c" $(pkg-config --cflags --libs zel32) -o "$work/fetch-pkg-config"

mkdir -p "$work/root/notes" "$work/out"
printf 'buy milk\ncall the office\n' > "$work/root/notes/todo.txt"
start_zeld "$prefix/bin/zeld" "$work/root" "$work/zeld.log"

export LD_LIBRARY_PATH=$libdir
for fetch in "$work/cmake-build/fetch" "$work/fetch-pkg-config"; do
  rm -f "$work/out/todo.txt"
  output=$("$fetch" "127.0.0.1:$ZELD_PORT" notes/todo.txt "$work/out/todo.txt")
  echo "$output"
  grep -q "'todo.txt'" <<< "$output" || { echo "$fetch: no listing"; exit 1; }
  grep -q "copied notes/todo.txt to $work/out/todo.txt: 25 bytes" <<< "$output" || { echo "$fetch: no copy"; exit 1; }
  cmp "$work/root/notes/todo.txt" "$work/out/todo.txt"
done

# The installed zelft finds its library by itself.
unset LD_LIBRARY_PATH
"$prefix/bin/zelft" get "127.0.0.1:$ZELD_PORT::notes/todo.txt" "$work/out/by-zelft.txt"
cmp "$work/root/notes/todo.txt" "$work/out/by-zelft.txt"
echo "package test passed"
