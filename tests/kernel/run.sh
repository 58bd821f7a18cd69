#!/usr/bin/env bash
# The real uvcvideo driver between brivanectl and the emulated camera: boots Debian's own kernel
# under QEMU with a small initramfs (busybox, uvcvideo and vhci-hcd from the kernel package,
# brivanectl, brivane-usbip), and reads the cases' results from the serial console. Fails, never
# skips, when any step of the driver path fails.
set -u
ctl="$1" usbip="$2" query="$3" sim="$4" cache="$5"
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$cache"
cache=$(realpath "$cache")

# Debian's kernel, unpacked into the build folder (no boot loader, no hooks).
image=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/ *Depends: \(linux-image-[0-9].*\)/\1/p' | head -n 1)
[[ -n "$image" ]] || { echo "FAIL: no linux-image package known to apt"; exit 1; }
kernel_root="$cache/$image"
if [[ ! -d "$kernel_root/boot" ]]; then
    download() { (cd "$cache" && rm -f "$image"_*.deb && apt-get download "$image" >/dev/null 2>&1); }
    download || { apt-get update -qq >/dev/null 2>&1; download; } ||
        { echo "FAIL: cannot download $image"; exit 1; }
    dpkg-deb -x "$cache/$image"_*.deb "$kernel_root" || { echo "FAIL: cannot unpack $image"; exit 1; }
fi
vmlinuz=$(ls "$kernel_root"/boot/vmlinuz-* | head -n 1)
modules=$(ls -d "$kernel_root"/lib/modules/* | head -n 1)

# The initramfs.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root="$work/root"
mkdir -p "$root"/{bin,lib,lib64,modules,images,proc,sys,dev,tmp}
cp /bin/busybox "$root/bin/busybox"
for m in usb-common usbcore mc videodev videobuf2-common videobuf2-v4l2 videobuf2-memops \
         videobuf2-vmalloc uvcvideo usbip-core vhci-hcd; do
    f=$(find "$modules" -name "$m.ko" | head -n 1)
    [[ -n "$f" ]] || { echo "FAIL: module $m not in $image"; exit 1; }
    cp "$f" "$root/modules/"
done
for program in "$ctl" "$usbip" "$query"; do
    cp "$program" "$root/bin/"
    # Each shared library where the loader looks for it.
    for lib in $(ldd "$program" | grep -o '/[^ ]*'); do
        mkdir -p "$root$(dirname "$lib")"
        cp -L "$lib" "$root$lib"
    done
done
"$sim" --write-images "$root/images" >/dev/null || { echo "FAIL: images"; exit 1; }
cp "$here/guest-init.sh" "$root/init"
chmod 755 "$root/init"
(cd "$root" && find . | cpio -o -H newc 2>/dev/null | gzip -1) >"$work/initrd.gz"

# The same update against the emulated camera on this machine: the requests the camera must
# receive through the driver. The extension-unit probes of the camera search never reach a
# device on Linux (the platform answers them from the descriptors), so they are left out.
"$ctl" --emulated --trace "$work/expected.trace" update --image-dir "$root/images" \
    --backup "$work/expected.bin" --no-progress >/dev/null 2>&1 ||
    { echo "FAIL: the emulated update"; exit 1; }
expected_trace=$(grep -v '"flags":268435712,' "$work/expected.trace" |
                 sed 's/^{"seq":[0-9]*,//' | md5sum | cut -d' ' -f1)

echo "booting $image under QEMU (TCG)"
timeout 600 qemu-system-x86_64 -machine q35 -accel tcg -cpu max -smp 2 -m 1024 -nographic \
    -no-reboot -kernel "$vmlinuz" -initrd "$work/initrd.gz" \
    -append "console=ttyS0 panic=-1 quiet loglevel=4" >"$work/console" 2>&1
status=$?
tr -d '\r' <"$work/console" | grep -v '^\s*$' | tee "$cache/console.log" | grep -E '^(guest|CASE|TRACE|brivane|uvcvideo|usb |Update)|Found UVC' 
if [[ $status -ne 0 ]]; then
    echo "FAIL: QEMU ended with status $status"
fi
if grep -q "^TRACE $expected_trace\$" "$cache/console.log"; then
    echo "CASE requests as on the emulated platform: PASS"
    echo "CASE requests as on the emulated platform: PASS" >>"$cache/console.log"
else
    echo "CASE requests as on the emulated platform: FAIL (the camera's trace differs)"
    echo "CASE requests as on the emulated platform: FAIL" >>"$cache/console.log"
fi
passed=$(grep -c '^CASE .*: PASS' "$cache/console.log")
failed=$(grep -c '^CASE .*: FAIL' "$cache/console.log")
expected=5
if ((passed + failed < expected)); then
    failed=$((expected - passed))
fi
echo "$passed passed, $failed failed"
((passed == expected && failed == 0 && status == 0))
