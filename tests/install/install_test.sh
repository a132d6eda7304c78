#!/bin/sh
# Installs the build into a temporary prefix and uses the installed copy as
# a user would: a C++ program through find_package and through pkg-config,
# a Python script, and the command line.
set -eu
BUILD=$1
SOURCE=$2
PREFIX=$(mktemp -d)
trap 'rm -rf "$PREFIX"' EXIT
cmake --install "$BUILD" --prefix "$PREFIX" > /dev/null

# Every installed header compiles on its own: nothing it includes was left
# out of the installed set.
for header in $(cd "$PREFIX/include" && find vexlor -name '*.h'); do
  echo "#include \"$header\"" |
    g++ -std=c++20 -fsyntax-only -I"$PREFIX/include" -x c++ - ||
    { echo "installed header $header does not compile alone"; exit 1; }
done
# The shared library exports the public API and hides the internals.
nm -DC --defined-only "$PREFIX/lib/libvexlor.so" | grep -q "vexlor::CVexlorCtrl::DupeSearch"
if nm -DC --defined-only "$PREFIX/lib/libvexlor.so" | grep -q "vexlor::LLHash"; then
  echo "libvexlor.so exports internal symbols"; exit 1
fi

cmake -S "$SOURCE/examples" -B "$PREFIX/example" -DCMAKE_PREFIX_PATH="$PREFIX" > /dev/null
cmake --build "$PREFIX/example" > /dev/null
LD_LIBRARY_PATH="$PREFIX/lib" "$PREFIX/example/dedupe" > "$PREFIX/cmake.out"
grep -q "Difference(Meier, Meyer) = 80" "$PREFIX/cmake.out"

PKG_CONFIG_PATH="$PREFIX/lib/pkgconfig" g++ -std=c++20 "$SOURCE/examples/dedupe.cc" \
  -o "$PREFIX/dedupe-pc" $(PKG_CONFIG_PATH="$PREFIX/lib/pkgconfig" pkg-config --cflags --libs vexlor)
LD_LIBRARY_PATH="$PREFIX/lib" "$PREFIX/dedupe-pc" | cmp - "$PREFIX/cmake.out"

SITE=$(python3 -c "import sysconfig; print(sysconfig.get_path('platlib', vars={'base': '$PREFIX', 'platbase': '$PREFIX'}))")
PYTHONPATH="$SITE" python3 "$SOURCE/examples/dedupe.py" "$SOURCE/examples/customers-1k.csv" > "$PREFIX/py.out"
grep -q "groups$" "$PREFIX/py.out"

"$PREFIX/bin/vexlor" --version | grep -q "vexlor 5.7.0"
VEXLOR="$PREFIX/bin/vexlor" sh "$SOURCE/examples/pipeline.sh" > "$PREFIX/pipe.out"
test "$(head -n 1 "$PREFIX/pipe.out" | cut -d, -f1)" = id
echo "install test passed"
