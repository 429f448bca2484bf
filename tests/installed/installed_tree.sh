#!/usr/bin/env bash
# The installed tree as a downstream developer uses it: its layout and man pages, a CMake
# project through find_package, a C program through pkg-config, the Python module, and
# the sources as a subproject. Everything is written under BUILD_DIR.
# Usage: installed_tree.sh SOURCE_DIR BUILD_DIR CMAKE C_COMPILER [PYTHON]
set -u
SRC=$1 BUILD=$2 CMAKE=$3 CC=$4 PYTHON=${5:-}
PREFIX=$BUILD/installed-tree
OUT=$BUILD/installed-consumers
FAILED=0
fail() { echo "FAIL: $*" >&2; FAILED=1; }
TRNA=GCGGAUUUAGCUCAGUUGGGAGAGCGCCAGACUGAAGAUCUGGAGGUCCUGUGUUCGAUCCACAGAAUUCGCACCA

rm -rf "$PREFIX" "$OUT"
"$CMAKE" --install "$BUILD" --prefix "$PREFIX" >/dev/null || { echo "FAIL: install" >&2; exit 1; }
mkdir -p "$OUT"

# --- Layout: public headers only, both libraries, man pages ---------------------------
diff <(ls "$PREFIX/include/stemloop" | sort) <(cd "$SRC/lib/include/stemloop" &&
  (ls *.h *.hpp; echo version.h) | sort) >/dev/null || fail "installed headers are not the public ones"
LIBDIR=$(dirname "$(find "$PREFIX" -name libstemloop.a)")
[ -f "$LIBDIR/libstemloop.a" ] && [ -L "$LIBDIR/libstemloop.so" ] || fail "libraries"
VERSION=$("$PREFIX/bin/stemloop-fold" --version | head -1 | cut -d' ' -f2)
MINOR=${VERSION%.*}
readelf -d "$LIBDIR/libstemloop.so" | grep -q "SONAME.*\[libstemloop\.so\.$MINOR\]" ||
  fail "soname is not libstemloop.so.$MINOR"
grep -m1 '^## ' "$SRC/CHANGELOG.md" | grep -qF "$VERSION" ||
  fail "CHANGELOG.md does not start with version $VERSION"
for tool in stemloop-fold stemloop-eval; do
  page=$PREFIX/share/man/man1/$tool.1
  for option in $("$PREFIX/bin/$tool" --help | grep -oE -- '--[a-zA-Z-]+' | sort -u); do
    sed 's/\\-/-/g' "$page" | grep -qF -- "$option" || fail "$tool.1 lacks $option"
  done
done
[ -f "$PREFIX/share/man/man1/stemloop.1" ] || fail "stemloop.1"

# --- CMake package: the README's example, shared and static -------------------------
diff <(awk '/^```cpp$/{on=1; next} /^```$/{on=0} on' "$SRC/README.md") "$SRC/examples/readme.cpp" \
  >/dev/null || fail "README's C++ example differs from examples/readme.cpp"
"$CMAKE" -S "$SRC/examples" -B "$OUT/cmake" -DCMAKE_PREFIX_PATH="$PREFIX" >"$OUT/log" 2>&1 &&
  "$CMAKE" --build "$OUT/cmake" >>"$OUT/log" 2>&1 || { cat "$OUT/log"; fail "find_package build"; }
"$OUT/cmake/readme" >"$OUT/shared.out" && "$OUT/cmake/readme_static" >"$OUT/static.out" ||
  fail "README example exit status"
head -1 "$OUT/shared.out" | grep -q '^((((....)))) -' || fail "README example output"
cmp -s "$OUT/shared.out" "$OUT/static.out" || fail "shared and static libraries differ"

# --- pkg-config: the classic C interface ----------------------------------------------
export PKG_CONFIG_PATH=$LIBDIR/pkgconfig
"$CC" "$SRC/examples/classic.c" $(pkg-config --cflags --libs stemloop) \
  -Wl,-rpath,"$(pkg-config --variable=libdir stemloop)" -o "$OUT/classic" || fail "pkg-config build"
cmp -s <("$OUT/classic" $TRNA GGGGAAAACCCC 2>/dev/null) <("$PREFIX/bin/stemloop" y $TRNA GGGGAAAACCCC) ||
  fail "C program through pkg-config prints otherwise than stemloop"

# --- Python module from the installed site directory ----------------------------------
if [ -n "$PYTHON" ]; then
  SITE=$(dirname "$(find "$PREFIX" -name 'stemloop*.so' -path '*-packages/*')")
  [ -f "$SITE/stemloop.pyi" ] || fail "Python type stub"
  got=$(cd "$OUT" && PYTHONPATH=$SITE "$PYTHON" -c 'import stemloop; print(stemloop.fold("GGGGAAAACCCC"))')
  [ "$got" = "FoldResult(sequence='GGGGAAAACCCC', structure='((((....))))', energy=-5.4)" ] ||
    fail "installed module: $got"
  # Under the interpreter's own prefix the module goes to a folder it searches.
  "$PYTHON" -c 'import os, sys; sys.exit(os.path.join(sys.prefix, sys.argv[1]) not in sys.path)' \
    "$("$PYTHON" "$SRC/python/site_dir.py" "$("$PYTHON" -c 'import sys; print(sys.prefix)')")" ||
    fail "make install would put the module where $PYTHON does not look"
fi

# --- Subproject: library targets without stemloop's tests -----------------------------
"$CMAKE" -S "$SRC/examples/subproject" -B "$OUT/subproject" -DSTEMLOOP_SOURCE_DIR="$SRC" \
  >"$OUT/log" 2>&1 || { cat "$OUT/log"; fail "configure as a subproject"; }
grep -rqs --include=CTestTestfile.cmake add_test "$OUT/subproject" &&
  fail "a subproject registers stemloop's tests"
exit $FAILED
