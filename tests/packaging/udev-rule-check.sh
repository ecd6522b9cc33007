#!/bin/bash
# Runs `udevadm test` on two made-up USB devices, one with a USBTMC interface and one mass
# storage device, with the rule installed, and shows what the rule did to each. Needs root,
# udev installed and a private mount namespace: the devices live on a tmpfs over
# /sys/devices/virtual that only this script sees. The rule is removed again afterwards.
#   unshare -m tests/packaging/udev-rule-check.sh
set -e
rule=$(cd "$(dirname "$0")/../.." && pwd)/packaging/udev/70-orvanto-usbtmc.rules
installed=/etc/udev/rules.d/70-orvanto-usbtmc.rules
trap 'rm -f "$installed"' EXIT
cp "$rule" "$installed"
mount -t tmpfs none /sys/devices/virtual

# A device with one interface of the given class/subclass/protocol (three hex bytes) and its
# three endpoints; usb_id lists an interface only when more descriptors follow it.
device() { # name interface-bytes
    local d=/sys/devices/virtual/usb1/$1
    mkdir -p "$d"
    printf 'MAJOR=189\nMINOR=4\nDEVNAME=bus/usb/001/005\nDEVTYPE=usb_device\nPRODUCT=1ab1/4ce/100\nBUSNUM=001\nDEVNUM=005\n' >"$d/uevent"
    ln -s /sys/bus/usb "$d/subsystem"
    printf '1ab1\n' >"$d/idVendor"; printf '04ce\n' >"$d/idProduct"; printf '0100\n' >"$d/bcdDevice"
    printf '00\n' >"$d/bDeviceClass"
    printf '\x12\x01\x00\x02\x00\x00\x00\x40\xb1\x1a\xce\x04\x00\x01\x01\x02\x03\x01''\x09\x02\x27\x00\x01\x01\x00\x80\x32'"\\x09\\x04\\x00\\x00\\x03$2\\x00"'\x07\x05\x01\x02\x00\x02\x00''\x07\x05\x82\x02\x00\x02\x00''\x07\x05\x83\x03\x08\x00\x01' >"$d/descriptors"
    echo "== $1"
    rm -rf /run/udev
    SYSTEMD_DEVICE_VERIFY_SYSFS=0 SYSTEMD_LOG_LEVEL=debug udevadm test --action=add "$d" 2>&1 |
        grep -E "70-orvanto-usbtmc.rules:[0-9]+|ID_USB_INTERFACES=|CURRENT_TAGS=|[Ii]nvalid" || true
}
device usbtmc '\xfe\x03\x01'
device storage '\x08\x06\x50'
rm -rf /run/udev
