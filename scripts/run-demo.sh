#!/usr/bin/env bash
# Builds the program and starts it with the simulated instrument on USB, so the read-out fills the
# table without hardware. The program and libusb are the real ones; a preloaded library plays the
# kernel's usbfs with the instrument behind it, in a device tree of its own (USB_DEVFS_PATH).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh run
build=build/demo
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVYZ_BUILD_TESTS=OFF -DVYZ_BUILD_BENCH=OFF
cmake --build "$build" -j"$(nproc)" --target vyz vyz_usbfs vyz_demo_archive

# The demo's settings: USB link, English. An existing file (the operator's own changes) is kept.
ini="$build/bin/Vyz.ini"
if [ ! -f "$ini" ]; then
    printf '[Config]\r\nCOMPortNumber=USB\r\nLangId=Eng\r\n[FormMain]\r\nWidth=960\r\nHeight=560\r\nLeft=40\r\nTop=40\r\n' > "$ini"
fi
# The simulated instrument serves the demo archive.
conf="$PWD/$build/demo/usbsim.conf"
printf 'archive=%s\nidentity=VYZ-1 N0042 (simulated)\n' "$PWD/$build/demo/demo.vyz" > "$conf"

export VYZ_USBSIM_CONFIG="$conf"
export USB_DEVFS_PATH="$PWD/$build/demo/usbfs"
LD_PRELOAD="$PWD/$build/sim/usbfs/libvyz_usbfs.so${LD_PRELOAD:+:$LD_PRELOAD}" exec "$build/bin/vyz" "$@"
