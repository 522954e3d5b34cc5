#!/usr/bin/env bash
# Installs the build into a temporary prefix, then uses it as a user and a developer would:
# runs the installed zendrik-print, validates the desktop entry and the AppStream data, builds
# the example programs against the installed package, runs them, and packs the .deb.
set -euo pipefail
build=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

[ -L "$prefix/bin/zendrik-print" ] || fail "bin/zendrik-print is not installed as a link"
appdir=$(dirname "$(readlink -f "$prefix/bin/zendrik-print")")
for f in "$appdir/Demo1.txt" "$appdir/Demo2.txt" "$prefix/include/zendrik/zendrik.h"; do
    [ -e "$f" ] || fail "$f is not installed"
done
man_page=$prefix/share/man/man1/zendrik-print.1
[ -f "$man_page" ] || fail "no manual page"
if command -v man >/dev/null; then
    rendered=$(man -l "$man_page" 2>&1)
    grep -q -- "--list-printers" <<<"$rendered" || fail "the manual page does not render"
fi
[ -n "$(find "$prefix" -name ZendrikConfig.cmake)" ] || fail "no package configuration installed"
[ -n "$(find "$prefix" -name libzendrik.a)" ] || fail "the library is not installed"
if [ -e "$appdir/ZendrikDemo" ]; then
    [ -L "$prefix/bin/ZendrikDemo" ] || fail "bin/ZendrikDemo is not a link to the application"
    desktop=$prefix/share/applications/io.github.orvanel.ZendrikDemo.desktop
    [ -f "$desktop" ] || fail "no desktop entry"
    desktop-file-validate "$desktop" || fail "desktop entry does not validate"
    grep -q '^Name=Orvanel Demo$' "$desktop" || fail "desktop entry has the wrong name"
    [ -f "$prefix/share/icons/hicolor/32x32/apps/zendrik-demo.png" ] || fail "no icon in the hicolor theme"
    appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/io.github.orvanel.ZendrikDemo.metainfo.xml" \
        >/dev/null || appstreamcli validate --no-net "$prefix/share/metainfo/io.github.orvanel.ZendrikDemo.metainfo.xml" \
        || fail "AppStream metainfo does not validate"
fi

# The installed command line prints a document from the installed data file.
"$prefix/bin/zendrik-print" --set DocFile="$appdir/Demo1.txt" --set DocFileAllData=true \
    --pdf "$work/demo1.pdf" 2>/dev/null || fail "installed zendrik-print failed"
pages=$(pdfinfo "$work/demo1.pdf" | awk '/^Pages:/ {print $2}')
[ "${pages:-0}" -ge 3 ] || fail "Demo1.txt printed $pages pages"

# A developer's program, built against the installed package only.
cmake -S "$source_dir/examples/print-three-lines" -B "$work/example" -G Ninja \
    -DCMAKE_PREFIX_PATH="$prefix" >/dev/null || fail "example does not configure against the package"
cmake --build "$work/example" >/dev/null || fail "example does not build against the package"
mkdir "$work/pdf"
# It prints on the default printer: with no scheduler to ask, that is "Save as PDF".
CUPS_SERVER="$work/no-scheduler.sock" ZENDRIK_PDF_DIR="$work/pdf" QT_QPA_PLATFORM=offscreen \
    "$work/example/print-three-lines" \
    || fail "example program failed"
[ -f "$work/pdf/Orvanel Demo.pdf" ] || fail "example program wrote no PDF: $(ls "$work/pdf")"
example_text=$(pdftotext "$work/pdf/Orvanel Demo.pdf" -)
grep -q "greatly simplifies" <<<"$example_text" || fail "example PDF lacks its text"

# The preview example, a widget program, built the same way; it shows a data file's first page.
cmake -S "$source_dir/examples/preview" -B "$work/preview" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null \
    || fail "preview example does not configure against the package"
cmake --build "$work/preview" >/dev/null || fail "preview example does not build against the package"
QT_QPA_PLATFORM=offscreen "$work/preview/zendrik-preview" "$appdir/Demo1.txt" --grab "$work/preview.png" 2>/dev/null \
    || fail "preview example failed"
[ -s "$work/preview.png" ] || fail "preview example showed nothing"

# The Debian package and its runtime dependencies.
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/deb" >/dev/null) || fail "cpack failed"
deb=$(ls "$work"/deb/*.deb | head -n1)
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6gui6 libcups2; do
    echo "$depends" | grep -q "$dep" || fail "package does not depend on $dep: $depends"
done
# (Listings are read whole: with pipefail, grep -q stopping early would fail the pipeline.)
contents=$(dpkg-deb -c "$deb")
for f in ./usr/share/applications/io.github.orvanel.ZendrikDemo.desktop ./usr/share/man/man1/zendrik-print.1; do
    grep -q "$f" <<<"$contents" || fail "package lacks $f"
done
echo "1 passed, 0 failed"
