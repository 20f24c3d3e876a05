#!/usr/bin/env bash
# The Debian package as a user installs it: unpacked into a scratch root, it holds the install
# layout, its programs find every library of their own through $ORIGIN, the installed DVO starts
# on a virtual X server with the libraries of the package, and removing the package would leave
# nothing behind (no maintainer scripts make files at install time).
# Usage: tests/ship/check-package.sh PACKAGE.deb SCRATCH LIBRARY...
set -euo pipefail
deb=$1
scratch=$2
shift 2
libraries=("$@")
fail() { echo "FAIL: $*"; exit 1; }

[[ -f $deb ]] || fail "no package at $deb"
size=$(stat -c %s "$deb")
echo "package: $deb, $size bytes"
((size <= 10 * 1024 * 1024)) || fail "the package is larger than 10 MB"

fields=$(dpkg-deb -f "$deb")
echo "$fields" | grep -E '^(Package|Version|Architecture|Depends|Recommends|Installed-Size):'
depends=$(dpkg-deb -f "$deb" Depends)
recommends=$(dpkg-deb -f "$deb" Recommends)
# Computed from the programs' needs, not written by hand.
[[ $depends == *libqt6widgets6* && $depends == *libc6* ]] || fail "Depends lacks the computed libraries: $depends"
[[ $recommends == *xdg-utils* && $recommends == *cups-client* ]] || fail "Recommends: $recommends"

rm -rf "$scratch"
mkdir -p "$scratch/control"
dpkg-deb -e "$deb" "$scratch/control"
extra=$(ls "$scratch/control" | grep -vxE 'control|md5sums|conffiles|shlibs|triggers|postinst|postrm' || true)
[[ -z $extra ]] || fail "the package runs scripts at install or removal: $extra"
# CPack adds an ldconfig call for libraries below /usr/lib; it refreshes the system's cache and
# makes no file of ours. Anything more would be a file made outside the package.
for script in postinst postrm; do
    [[ -f $scratch/control/$script ]] || continue
    other=$(grep -vxE '#!/bin/sh|set -e|if \[ "\$1" = "(configure|remove)" \]; then|[[:space:]]*ldconfig|fi|' \
            "$scratch/control/$script" || true)
    [[ -z $other ]] || fail "$script does more than call ldconfig: $other"
done

root=$scratch/root
dpkg -x "$deb" "$root"
prog=$root/usr/lib/dvo
guide="$prog/KZ-DVOユーザーズガイド.pdf"
for file in "$prog/DVO" "$prog/dvoscan" "$guide" \
            "$root/usr/share/applications/dvo.desktop" \
            "$root/usr/share/icons/hicolor/scalable/apps/dvo.svg" \
            "$root/usr/share/man/man1/dvoscan.1.gz"; do
    [[ -f $file && -s $file ]] || fail "missing: ${file#$root}"
done
for lib in "${libraries[@]}"; do
    [[ -f $prog/lib$lib.so ]] || fail "missing: /usr/lib/dvo/lib$lib.so"
    [[ -f $root/usr/include/$lib/$lib.h ]] || fail "missing: /usr/include/$lib/$lib.h"
done
# Each public header stands alone, for C and for C++ callers, from the installed include folder.
for lib in "${libraries[@]}"; do
    for lang in c c++; do
        echo "#include <$lib/$lib.h>" | g++ -x $lang -fsyntax-only -Wall -Wextra -Werror \
            -I "$root/usr/include" - || fail "include/$lib/$lib.h does not compile as $lang"
    done
done
for program in DVO dvoscan; do
    link=$root/usr/bin/$program
    [[ -L $link ]] || fail "/usr/bin/$program is not a link"
    [[ $(readlink "$link") == ../lib/dvo/$program ]] || fail "/usr/bin/$program points to $(readlink "$link")"
done
desktop-file-validate "$root/usr/share/applications/dvo.desktop" | grep -v ': hint: ' \
    | grep . && fail "desktop-file-validate complains"
# File managers offer the program for a folder and hand it over as the one argument.
grep -qx 'Exec=DVO %f' "$root/usr/share/applications/dvo.desktop" || fail "the desktop entry takes no folder"
grep -qx 'MimeType=inode/directory;' "$root/usr/share/applications/dvo.desktop" \
    || fail "the desktop entry is not offered for folders"
gzip -t "$root/usr/share/man/man1/dvoscan.1.gz"
if command -v man >/dev/null; then
    man -l "$root/usr/share/man/man1/dvoscan.1.gz" 2>&1 >/dev/null | grep . && fail "the man page has errors"
fi
python3 -c "import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])" \
        "$root/usr/share/icons/hicolor/scalable/apps/dvo.svg"

# Every ELF file of the program folder runs with RUNPATH $ORIGIN and finds our libraries there.
for elf in "$prog"/*; do
    file -b "$elf" | grep -q '^ELF' || continue
    runpath=$(readelf -d "$elf" | sed -nE 's/.*\((RUNPATH|RPATH)\).*\[(.*)\]/\2/p')
    needed=$(readelf -d "$elf" | sed -nE 's/.*\(NEEDED\).*\[(.*)\]/\1/p')
    resolved=$(ldd "$elf")
    grep -q 'not found' <<<"$resolved" && fail "${elf#$root}: $(grep 'not found' <<<"$resolved")"
    for lib in "${libraries[@]}"; do
        if grep -qx "lib$lib.so" <<<"$needed"; then
            [[ $runpath == '$ORIGIN' ]] || fail "${elf#$root} has the run path '$runpath'"
            grep -qF "lib$lib.so => $prog/lib$lib.so" <<<"$resolved" \
                || fail "${elf#$root} finds lib$lib.so elsewhere: $(grep "lib$lib.so" <<<"$resolved")"
        fi
    done
done

# The installed program starts: its window appears, with the package's libraries mapped.
run=$scratch/run
mkdir -p -m 700 "$run" "$scratch/config" "$scratch/data"
cat > "$scratch/start.sh" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
"$1" & pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
for _ in $(seq 300); do
    if xdotool search --onlyvisible --name 'Version' >/dev/null 2>&1; then
        maps=$(cat /proc/$pid/maps)
        for lib in "${@:3}"; do
            if ! grep -qF "$2/lib$lib.so" <<<"$maps" && [[ $lib == Tamsin || $lib == Brindle || $lib == DVOSUB ]]; then
                echo "FAIL: the running DVO did not map $2/lib$lib.so"; exit 1
            fi
        done
        echo "the installed DVO shows its window"
        exit 0
    fi
    kill -0 $pid 2>/dev/null || { echo "FAIL: the installed DVO ended at start"; exit 1; }
    sleep 0.1
done
echo "FAIL: no window of the installed DVO within 30 s"
exit 1
INNER
chmod +x "$scratch/start.sh"
env -u QT_QPA_PLATFORM XDG_RUNTIME_DIR="$run" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" \
    xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96 -nolisten tcp" \
    "$scratch/start.sh" "$root/usr/bin/DVO" "$prog" "${libraries[@]}"
echo "package checks passed"
