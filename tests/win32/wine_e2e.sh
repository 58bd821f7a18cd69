#!/usr/bin/env bash
# brivane.exe (with no camera, then with the emulated camera served by a registered COM server)
# and brivane-sim.exe --gui under wine on a virtual display, watched from outside by
# window_probe.exe: the status box, the message box, the hint, the About box and the automatic
# close. Each step that fails is named; every wait is bounded.
set -u
brivane="$1" sim="$2" probe="$3" shots="$4" fake_camera="$5" ctl="$6"
mkdir -p "$shots"
root=$(dirname "$(realpath "$shots")")
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
export WINEPREFIX="$root/wineprefix-e2e" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d)
display=$((90 + RANDOM % 100))
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
    "${wine%64}server" -k >/dev/null 2>&1 || wineserver -k >/dev/null 2>&1
    kill "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY=":$display"
for _ in $(seq 50); do [[ -e "/tmp/.X11-unix/X$display" ]] && break; sleep 0.1; done
# A Unix path as wine's Z: drive shows it.
winpath() { local p; p=$(realpath "$1"); echo "Z:${p//\//\\}"; }
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    timeout 180 "$wine" wineboot --init >/dev/null 2>&1 || { echo "FAIL: wine prefix"; exit 1; }
    # The About box's font, 新細明體, is not on this machine: draw it with a CJK font that is.
    # A UTF-16 .reg file, since the name would not survive the command line's code page.
    { printf '\xff\xfe'
      { printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
        printf '"新細明體"="WenQuanYi Micro Hei"\r\n'; } | iconv -f UTF-8 -t UTF-16LE; } >"$work/fonts.reg"
    "$wine" regedit /S "$(winpath "$work/fonts.reg")" >/dev/null 2>&1
fi
failures=0

run() {  # name, expected result, probe options, program and its options...
    local name="$1" expected="$2" about="$3" caption
    shift 3
    caption=$(basename "$1" .exe)
    echo "== $name"
    timeout 120 "$wine" "$@" >"$work/$caption.out" 2>&1 &
    local app=$!
    if ! timeout 150 "$wine" "$probe" "$caption" "$expected" "$(winpath "$shots")" $about; then
        echo "FAIL: $name (the probe's checks above)"
        failures=$((failures + 1))
    fi
    local status=0
    wait "$app" || status=$?
    # brivane-sim exits 0 only on success; brivane.exe always 0.
    if [[ $status -ne 0 && "$expected" == "Update FW success !!" || $status -gt 1 ]]; then
        echo "FAIL: $name: the program ended with status $status"
        sed 's/^/    /' "$work/$caption.out" | tail -5
        failures=$((failures + 1))
    fi
}

# The emulated camera as a video-capture device: a COM server registered under the video-input
# category, which wine's device enumerator lists and binds.
clsid='{6F1A9C3E-2B7D-4E58-9A41-C7D2E8B05F13}'
category='{860BB310-5D01-11D0-BD3B-00A0C911CE86}'
registry() {  # the .reg lines, written as UTF-16 and imported
    { printf '\xff\xfe'
      { printf 'Windows Registry Editor Version 5.00\r\n\r\n'; printf '%s\r\n' "$@"; } |
          iconv -f UTF-8 -t UTF-16LE; } >"$work/camera.reg"
    "$wine" regedit /S "$(winpath "$work/camera.reg")" >/dev/null 2>&1
    "${wine%64}server" -w 2>/dev/null
}
unregister_camera() {
    registry "[-HKEY_CLASSES_ROOT\\CLSID\\$category\\Instance\\$clsid]" \
             "[-HKEY_CLASSES_ROOT\\CLSID\\$clsid]"
}
register_camera() {
    local dll
    dll=$(winpath "$fake_camera")
    registry "[HKEY_CLASSES_ROOT\\CLSID\\$clsid\\InprocServer32]" \
             "@=\"${dll//\\/\\\\}\"" '"ThreadingModel"="Both"' '' \
             "[HKEY_CLASSES_ROOT\\CLSID\\$category\\Instance\\$clsid]" \
             '"FriendlyName"="Brivane USB Camera"' "\"CLSID\"=\"$clsid\"" \
             '"DevicePath"="usb#vid_1d6b&pid_0c45&mi_00#brivane"'
}

# No camera: wine has no capture device with kernel-streaming interfaces.
unregister_camera
run "brivane.exe with no camera" "No device !!" "" "$brivane"

# The emulated camera behind the Win32 dialog.
"$wine" "$sim" --write-images "$(winpath "$work")" >/dev/null 2>&1
run "brivane-sim.exe --gui" "Update FW success !!" --about "$sim" --gui --image-dir "$(winpath "$work")" --latency-us 20

# brivane.exe itself, through DirectShow and kernel streaming, against the emulated camera;
# the images beside the program, as the tool looks for them.
mkdir -p "$work/app"
cp "$brivane" "$work/app/brivane.exe"
"$wine" "$sim" --write-images "$(winpath "$work/app")" >/dev/null 2>&1
register_camera
run "brivane.exe with the emulated camera" "Update FW success !!" "" "$work/app/brivane.exe"

# brivanectl.exe through the same DirectShow and kernel-streaming path: list, update, verify.
ctl_run() {  # name, wanted status, options...
    local name="$1" want="$2" status=0
    shift 2
    echo "== brivanectl.exe $name"
    timeout 300 "$wine" "$ctl" "$@" >"$work/ctl.out" 2>"$work/ctl.err" || status=$?
    if [[ $status -ne $want ]]; then
        echo "FAIL: brivanectl.exe $name: status $status, wanted $want"
        sed 's/^/    /' "$work/ctl.out" "$work/ctl.err" | tail -8
        failures=$((failures + 1))
    fi
}
ctl_run "list" 0 --json list
grep -q '"camera": true' "$work/ctl.out" || { echo "FAIL: list shows no camera"; failures=$((failures + 1)); }
ctl_run "update" 0 update --no-progress --image-dir "$(winpath "$work/app")" \
    --backup "$(winpath "$work")\\before.bin"
[[ "$(tail -n 1 "$work/ctl.out" | tr -d '\r')" == "Update FW success !!" ]] ||
    { echo "FAIL: update: $(tail -n 1 "$work/ctl.out")"; failures=$((failures + 1)); }
[[ $(stat -c %s "$work/before.bin" 2>/dev/null) == 65536 && -s "$work/before.bin.json" ]] ||
    { echo "FAIL: update took no backup"; failures=$((failures + 1)); }
# Each process gets a fresh emulated camera: its flash is the one backed up above.
ctl_run "verify" 0 verify "$(winpath "$work")\\before.bin"
unregister_camera
ctl_run "--emulated update" 0 --emulated update --no-progress --image-dir "$(winpath "$work")" \
    --backup "$(winpath "$work")\\emulated.bin"

for bmp in "$shots"/*.bmp; do
    [[ -f "$bmp" ]] && command -v convert >/dev/null && convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
if ((failures == 0)); then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
((failures == 0))
