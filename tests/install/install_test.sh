#!/usr/bin/env bash
# Packs the build into its Debian packages and uses them as a user and a developer would: checks
# every package with lintian and its contents, unpacks them into a private root (the machine's own
# packages are never touched), checks the library's SONAME and exported symbols, runs the
# installed zendrik-print, validates the desktop entry and the AppStream data, and builds the
# example program against the installed -dev package with no C++ standard set (CMake) and as
# C++17 (pkg-config), then runs it with QGuiApplication on the offscreen platform; builds the preview
# example (a widget program) the same way and runs it.
set -euo pipefail
build=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

packages=(libzendrik1 libzendrik-dev zendrik-print)
with_demo=0
if [ -e "$build/bin/ZendrikDemo" ]; then
    packages+=(zendrik-demo)
    with_demo=1
fi

# One cpack run gives every package, into the folder asked for (by default BUILD/packages).
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/deb" >"$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
declare -A deb
for pkg in "${packages[@]}"; do
    deb[$pkg]=$(find "$work/deb" -maxdepth 1 -name "${pkg}_*.deb" | head -n1)
    [ -n "${deb[$pkg]}" ] || fail "no package $pkg: $(ls "$work/deb")"
done

lintian --fail-on error "${deb[@]}" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log" >&2; fail "lintian reports errors"; }

# (Listings are read whole: with pipefail, grep -q stopping early would fail the pipeline.)
has() { # has PACKAGE PATTERN...: every pattern names a file of the package
    local pkg=$1 contents pattern
    contents=$(dpkg-deb -c "${deb[$pkg]}" | awk '{print $6}')
    for pattern in "${@:2}"; do
        grep -q -E "^\./usr/$pattern\$" <<<"$contents" || fail "$pkg lacks usr/$pattern"
    done
}
depends() { # depends PACKAGE NAME...
    local field
    field=$(dpkg-deb -f "${deb[$1]}" Depends)
    for dep in "${@:2}"; do
        grep -q -E "(^|, )$dep( |,|$)" <<<"$field" || fail "$1 does not depend on $dep: $field"
    done
}
for pkg in "${packages[@]}"; do
    has "$pkg" "share/doc/$pkg/copyright" "share/doc/$pkg/changelog.gz"
done
has libzendrik1 "lib/(.*/)?libzendrik\.so\.1" "lib/(.*/)?libzendrik\.so\.1\.0\.0"
has libzendrik-dev "lib/(.*/)?libzendrik\.so" "include/zendrik/zendrik\.h" "include/zendrik/zendrikglobal\.h" \
    "lib/(.*/)?cmake/Zendrik/ZendrikConfig\.cmake" "lib/(.*/)?pkgconfig/zendrik\.pc"
has zendrik-print "bin/zendrik-print" "share/man/man1/zendrik-print\.1\.gz" \
    "share/bash-completion/completions/zendrik-print"
depends libzendrik1 libqt6gui6 libcups2
depends libzendrik-dev libzendrik1 qt6-base-dev
depends zendrik-print libzendrik1
if grep -q -E '\.a$|/(base|layout|pdf|output|job)/' <<<"$(dpkg-deb -c "${deb[libzendrik-dev]}")"; then
    fail "libzendrik-dev holds more than the public headers and the library"
fi
if [ $with_demo = 1 ]; then
    has zendrik-demo "bin/ZendrikDemo" "share/zendrik-demo/Demo1\.txt" "share/zendrik-demo/Demo2\.txt" \
        "share/zendrik-demo/zendrik-demo-fonts\.conf" "share/applications/io\.github\.orvanel\.ZendrikDemo\.desktop" \
        "share/metainfo/io\.github\.orvanel\.ZendrikDemo\.metainfo\.xml" \
        "share/icons/hicolor/scalable/apps/zendrik-demo\.svg"
    depends zendrik-demo libzendrik1 libqt6widgets6
fi

root=$work/root
for pkg in "${packages[@]}"; do
    dpkg-deb -x "${deb[$pkg]}" "$root"
done
library=$(find "$root/usr/lib" -name libzendrik.so.1)
libdir=$(dirname "$library")
grep -q -E 'SONAME +libzendrik\.so\.1$' <<<"$(objdump -p "$library")" || fail "no SONAME libzendrik.so.1"
# Only what the public headers declare is exported: every name of the component the library
# exports is spelled in the headers, or is what Q_OBJECT declares. (Instances of the standard
# library's templates that the compiler makes visible are not the component's names.)
public_names=$( (cat "$root"/usr/include/zendrik/*.h; printf '%s\n' staticMetaObject metaObject qt_metacall qt_metacast) |
    grep -o -E '[A-Za-z_][A-Za-z0-9_]*' | sort -u)
exported=$(nm -D --defined-only "$library" | c++filt | cut -d' ' -f3- |
    sed -E 's/^(typeinfo name for|typeinfo for|vtable for|VTT for|guard variable for) //' |
    grep -E '^zendrik::' | sed -E 's/[(<].*//; s/::~/::/' | sort -u)
[ -n "$exported" ] || fail "the library exports nothing of the component"
for symbol in $exported; do
    for part in $(tr ':' '\n' <<<"${symbol#zendrik::}" | grep -v '^$'); do
        grep -q -x -F "$part" <<<"$public_names" || fail "the library exports $symbol"
    done
done

# The installed command prints the installed data file.
data=$root/usr/share/zendrik-demo
[ $with_demo = 1 ] || data=$source_dir/data
LD_LIBRARY_PATH=$libdir QT_QPA_PLATFORM=offscreen "$root/usr/bin/zendrik-print" --set DocFile="$data/Demo1.txt" \
    --set DocFileAllData=true --pdf "$work/demo1.pdf" 2>/dev/null || fail "installed zendrik-print failed"
pages=$(pdfinfo "$work/demo1.pdf" | awk '/^Pages:/ {print $2}')
[ "${pages:-0}" -ge 3 ] || fail "Demo1.txt printed $pages pages"
# The bash completion: options, and names from the installed program's own tables.
completes() { # completes WORD... -> what the completion offers for the last word
    LD_LIBRARY_PATH=$libdir QT_QPA_PLATFORM=offscreen bash -c \
        'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _zendrik_print; echo "${COMPREPLY[*]}"' \
        _ "$root/usr/share/bash-completion/completions/zendrik-print" "$root/usr/bin/zendrik-print" "$@"
}
[[ " $(completes --pa) " == *" --paper "* ]] || fail "completion offers no --paper"
[[ " $(completes --paper Leg) " == *" Legal "* ]] || fail "completion offers no paper names"
[[ " $(completes --set PaperBin=Ma) " == *" PaperBin=Manual "* ]] || fail "completion offers no bin names"
if command -v man >/dev/null; then
    rendered=$(man -l "$root/usr/share/man/man1/zendrik-print.1.gz" 2>&1)
    grep -q -- "--list-printers" <<<"$rendered" || fail "the manual page does not render"
fi

if [ $with_demo = 1 ]; then
    desktop=$root/usr/share/applications/io.github.orvanel.ZendrikDemo.desktop
    desktop-file-validate "$desktop" || fail "desktop entry does not validate"
    grep -q '^Name=Orvanel Demo$' "$desktop" || fail "desktop entry has the wrong name"
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    for size in 32 64 128; do
        png=$root/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png
        grep -q "PNG image data, $size x $size" <<<"$(file "$png")" || fail "no $size px icon: $(file "$png")"
    done
    appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.orvanel.ZendrikDemo.metainfo.xml" \
        >"$work/appstream.log" 2>&1 || { cat "$work/appstream.log" >&2; fail "AppStream metainfo does not validate"; }
fi

# A developer's program, built against the unpacked -dev package only, with no C++ standard set.
cmake -S "$source_dir/examples/print-three-lines" -B "$work/example" -G Ninja \
    -DCMAKE_PREFIX_PATH="$root/usr" >"$work/example.log" 2>&1 ||
    { cat "$work/example.log" >&2; fail "example does not configure against the package"; }
cmake --build "$work/example" >>"$work/example.log" 2>&1 ||
    { cat "$work/example.log" >&2; fail "example does not build against the package"; }
# The same program through pkg-config, as C++17.
pc_flags=$(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs zendrik) || fail "pkg-config finds no zendrik"
g++ -std=c++17 -fPIC "$source_dir/examples/print-three-lines/main.cpp" -o "$work/example-pc" $pc_flags \
    2>"$work/pc.log" || { cat "$work/pc.log" >&2; fail "example does not build as C++17 through pkg-config"; }

# It prints on the default printer: with no scheduler to ask, that is "Save as PDF".
for program in "$work/example/print-three-lines" "$work/example-pc"; do
    rm -rf "$work/pdf" && mkdir "$work/pdf"
    LD_LIBRARY_PATH=$libdir CUPS_SERVER="$work/no-scheduler.sock" ZENDRIK_PDF_DIR="$work/pdf" \
        QT_QPA_PLATFORM=offscreen "$program" || fail "$program failed"
    [ -f "$work/pdf/Orvanel Demo.pdf" ] || fail "$program wrote no PDF: $(ls "$work/pdf")"
    grep -q "greatly simplifies" <<<"$(pdftotext "$work/pdf/Orvanel Demo.pdf" -)" || fail "the PDF lacks its text"
done

# The preview example, a widget program, built the same way; it shows a data file's first page.
cmake -S "$source_dir/examples/preview" -B "$work/preview" -G Ninja -DCMAKE_PREFIX_PATH="$root/usr" \
    >"$work/preview.log" 2>&1 || { cat "$work/preview.log" >&2; fail "preview example does not configure against the package"; }
cmake --build "$work/preview" >>"$work/preview.log" 2>&1 ||
    { cat "$work/preview.log" >&2; fail "preview example does not build against the package"; }
LD_LIBRARY_PATH=$libdir QT_QPA_PLATFORM=offscreen "$work/preview/zendrik-preview" "$data/Demo1.txt" \
    --grab "$work/preview.png" 2>/dev/null || fail "preview example failed"
grep -q "PNG image data" <<<"$(file "$work/preview.png")" || fail "preview example showed nothing"
echo "1 passed, 0 failed"
