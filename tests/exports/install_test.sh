#!/usr/bin/env bash
# install_test.sh CMAKE BUILD_DIR SOURCE_DIR CC [FLAGS...]
# Installs libcwpipes from BUILD_DIR into a scratch prefix, as a package does, and builds the C
# example against what was installed, once through pkg-config and once through the CMake
# package; each build must read the simulated pack. FLAGS go to every compile and link (the
# sanitizers of the test build).
set -euo pipefail
cmake=$1 build=$2 source=$3 cc=$4
shift 4
flags=("$@")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

for component in cwpipes cwpipes-dev; do
  "$cmake" --install "$build" --component "$component" --prefix "$prefix" >/dev/null
done
echo "installed:"
(cd "$prefix" && find . -type f -o -type l | sort)

pc=$(find "$prefix" -name cwpipes.pc)
[[ -n $pc ]] || { echo "FAIL: no cwpipes.pc was installed"; exit 1; }
export PKG_CONFIG_PATH=${pc%/*}
client_flags=$(pkg-config --cflags --libs cwpipes)
echo "pkg-config --cflags --libs cwpipes: $client_flags"
libdir=$(pkg-config --variable=libdir cwpipes)
[[ -e $libdir/libcwpipes.so && -e $(pkg-config --variable=includedir cwpipes)/cwpipes.h ]] ||
  { echo "FAIL: the library or the header is not where cwpipes.pc says"; exit 1; }

read_gauge() {
  local output
  output=$(LD_LIBRARY_PATH=$libdir CWPIPES_DEVICE=sim "$1")
  printf '%s\n' "$output"
  grep -Eqx 'Voltage: [0-9]+ mV' <<<"$output" || { echo "FAIL: $1 read no voltage"; exit 1; }
}

# The installed header is clean C89 and C++98, as a client of any age compiles it.
includedir=$(pkg-config --variable=includedir cwpipes)
echo '#include <cwpipes.h>' | "$cc" -x c -std=c89 -pedantic -Wall -Werror -I"$includedir" -fsyntax-only -
echo '#include <cwpipes.h>' | "$cc" -x c++ -std=c++98 -pedantic -Wall -Werror -I"$includedir" -fsyntax-only -

# shellcheck disable=SC2086 # pkg-config's output is a list of words
"$cc" -std=c89 -pedantic -Wall -Werror "${flags[@]}" "$source/examples/pipes/read_gauge.c" \
  $client_flags -o "$scratch/read_gauge"
read_gauge "$scratch/read_gauge"

"$cmake" -S "$source/examples/pipes" -B "$scratch/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="${flags[*]}" >/dev/null
"$cmake" --build "$scratch/consumer" >/dev/null
read_gauge "$scratch/consumer/read_gauge"
echo "PASS"
