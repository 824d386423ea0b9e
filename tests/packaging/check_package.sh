#!/usr/bin/env bash
# Usage: check_package.sh SOURCE_DIR BUILD_DIR LIBDIR (the library folder below the prefix)
set -euo pipefail
src=$1
build=$2
libdir=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

desktop-file-validate "$src/packaging/vyz.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$src/packaging/org.example.vyz.metainfo.xml" || fail "AppStream metadata"
xmllint --noout "$src/packaging/vyz-mime.xml" 2>/dev/null || python3 -c "import xml.dom.minidom,sys; xml.dom.minidom.parse(sys.argv[1])" "$src/packaging/vyz-mime.xml" || fail "MIME type XML"

# Build the package from the already built tree.
(cd "$build" && cpack -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/pkg/vyz_*.deb)
echo "package: $(basename "$deb")"

# Metadata: the run-time dependencies the dynamic loader cannot see are declared.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for dep in libusb-0.1-4 fonts-liberation libqt6widgets6 libqt6printsupport6 libqt6sql6-sqlite \
    libqt6sql6-psql; do
    grep -q "$dep" <<<"$depends" || fail "Depends lacks $dep"
done

# Debian's own checks: no error and no warning.
if command -v lintian >/dev/null; then
    lintian --fail-on error,warning --no-tag-display-limit "$deb" >"$work/lintian.log" 2>&1 \
        || { cat "$work/lintian.log"; fail "lintian"; }
    grep -E '^[EW]: ' "$work/lintian.log" && fail "lintian reports errors or warnings"
    echo "lintian: clean"
else
    fail "lintian is not installed (scripts/deps.sh test)"
fi
# The extended description is there.
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -gt 3 ] || fail "no extended description"

# Contents in the usual places.
dpkg-deb -c "$deb" >"$work/contents"
for path in ./usr/bin/vyz ./usr/bin/vyz-convert ./usr/share/doc/vyz/copyright \
    ./usr/share/doc/vyz/changelog.gz ./usr/share/man/man1/vyz.1.gz \
    ./usr/share/man/man1/vyz-convert.1.gz ./usr/share/applications/vyz.desktop \
    ./usr/share/metainfo/org.example.vyz.metainfo.xml ./usr/share/mime/packages/vyz.xml \
    ./usr/share/icons/hicolor/48x48/apps/vyz.png ./usr/share/icons/hicolor/scalable/apps/vyz.svg \
    ./usr/share/vyz/Help/Vyz1EngHelp.html ./usr/share/vyz/Help/Vyz1RusHelp.html \
    ./usr/share/vyz/Language/English.frc ./usr/share/vyz/Language/Russian.frc \
    "./usr/$libdir/vyz/vyz_office.so" "./usr/$libdir/vyz/vyz_chart.so"; do
    grep -q " $path\$" "$work/contents" || fail "package lacks $path"
done
rule=$(grep -o ' ./usr/lib/udev/rules.d/[0-9][0-9]-[^ ]*\.rules$' "$work/contents" | head -1 | tr -d ' ')
[ -n "$rule" ] || fail "package lacks the udev rule"
num=$(basename "$rule" | cut -c1-2)
[ "$num" -lt 71 ] || fail "udev rule $rule is numbered $num, must be below 71 for uaccess"

# Unpack into a fresh folder root and run the program from there.
root="$work/root"
dpkg-deb -x "$deb" "$root"
grep -q 'TAG+="uaccess"' "$root/$rule" || fail "udev rule without uaccess"
[ -x "$root/usr/bin/vyz" ] || fail "program not executable"
modules="$root/usr/$libdir/vyz"
for program in "$root/usr/bin/vyz" "$root/usr/bin/vyz-convert" "$modules/vyz_office.so" \
    "$modules/vyz_chart.so"; do
    file "$program" | grep -q ', stripped' || fail "$program is not stripped"
done
# Each module loads on its own and offers what it holds through its entry.
for entry in vyz_office:vyz_office_exporters vyz_chart:vyz_chart_plot; do
    python3 - "$modules/${entry%%:*}.so" "${entry#*:}" <<'PY' || fail "the module ${entry%%:*}.so does not load"
import ctypes, sys
entry = getattr(ctypes.CDLL(sys.argv[1]), sys.argv[2])
entry.restype = ctypes.c_void_p
sys.exit(0 if entry() else 1)
PY
done
home="$work/home"
mkdir -p "$home"
# The unpacked program folder is writable here, so the program keeps Vyz.ini beside itself.
ini="$root/usr/bin/Vyz.ini"
printf '[Config]\nLangId=Eng\nCOMPortNumber=USB\nGPSMode=N\n' >"$ini"
# A coordinates measurement file with one record, given as the one argument.
file="$work/one.vyz"
{ printf 'GLONASS/GPS\0\0\0\0\0'; head -c 32 /dev/zero; } >"$file"
HOME="$home" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=offscreen \
    "$root/usr/bin/vyz" "$file" >"$work/run.log" 2>&1 &
pid=$!
# The file has been opened once the layout it carries has been written to the settings file.
for _ in $(seq 100); do
    grep -q '^GPSMode=Y' "$ini" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
grep -q '^GPSMode=Y' "$ini" || { cat "$work/run.log"; fail "the file given on the command line was not opened"; }
kill -TERM "$pid"
rc=0
wait "$pid" || rc=$?
[ "$rc" -eq 0 ] || { cat "$work/run.log"; fail "program ended with $rc"; }
grep -q '^Uses=1' "$ini" || fail "start counter not written"
grep -q '^Width=' "$ini" || fail "geometry not written at exit"
grep -q 'Vyz1EngHelp' <<<"$(ls "$root/usr/share/vyz/Help")" || fail "help not installed"

# The converter runs from the unpacked package without a display and writes a report.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$home" XDG_RUNTIME_DIR="$work" \
    "$root/usr/bin/vyz-convert" --version | grep -q '^vyz-convert ' || fail "vyz-convert --version"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$home" XDG_RUNTIME_DIR="$work" \
    "$root/usr/bin/vyz-convert" --lang en "$file" -o "$work/one.csv" 2>"$work/convert.log" \
    || true
# The file of zeros is no measurement file: one clear line, exit 1, no output.
grep -q 'not a measurement file' "$work/convert.log" || { cat "$work/convert.log"; fail "vyz-convert message"; }
[ ! -e "$work/one.csv" ] || fail "vyz-convert left an output for a bad input"
python3 - "$work/two.vyz" <<'PY'
import struct, sys
rec = struct.pack('<HBBBBBBBBfffiiH', 7, 7, 5, 9, 3, 3, 20, 1, 50, 2300.0, 2400.0, 130.5, 363410555, -244882496, 0)
open(sys.argv[1], 'wb').write(b'GLONASS/GPS' + bytes(5) + rec * 2)
PY
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$home" XDG_RUNTIME_DIR="$work" \
    "$root/usr/bin/vyz-convert" --lang en "$work/two.vyz" -o "$work/two.pdf" || fail "vyz-convert to PDF"
pdftotext "$work/two.pdf" - | grep -q 'Measured density values' || fail "converted PDF lacks its title"

# A real install and removal where this runs as root and the package is not installed already.
if [ "$(id -u)" -eq 0 ] && ! dpkg-query -W -f='${Status}' vyz 2>/dev/null | grep -q ' installed$'; then
    trap 'dpkg --purge vyz >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
    dpkg -i "$deb" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "dpkg -i"; }
    [ -x /usr/bin/vyz ] && [ -f /usr/share/applications/vyz.desktop ] && [ -f "/$rule" ] \
        || fail "installed files missing"
    dpkg --purge vyz >"$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "dpkg --purge"; }
    dpkg-query -W vyz >/dev/null 2>&1 && fail "dpkg still knows the package after purging it"
    for path in /usr/bin/vyz /usr/share/applications/vyz.desktop "/$rule" /usr/share/vyz; do
        [ ! -e "$path" ] || fail "$path left after removal"
    done
    echo "installed and removed cleanly"
fi
echo "package checks passed"
