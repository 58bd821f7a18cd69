#!/usr/bin/env bash
# brivane-sim from the outside: every outcome reachable from its options, its exit status, the
# last line of its output, the request trace's format and the flash dump.
set -u
sim="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Its own lock folder: another test may emulate a camera with the same path meanwhile.
export BRIVANE_LOCK_DIR="$work"
failures=0
passed=0

check() {  # name, expected exit, expected last line, options...
    local name="$1" want_status="$2" want_line="$3"
    shift 3
    local out status last
    out=$("$sim" --time-scale 0 --image-dir "$work/img" "$@" 2>"$work/stderr")
    status=$?
    last=$(printf '%s\n' "$out" | tail -n 1)
    if [[ $status -ne $want_status || "$last" != "$want_line" ]]; then
        echo "FAIL $name: exit $status, last line '$last' (wanted $want_status, '$want_line')"
        sed 's/^/    stderr: /' "$work/stderr" | head -5
        failures=$((failures + 1))
    else
        passed=$((passed + 1))
    fi
}

mkdir -p "$work/img"
"$sim" --write-images "$work/img" >/dev/null || { echo "FAIL: --write-images"; exit 1; }

# A clean run, traced and dumped.
check "success" 0 "Update FW success !!" --headless --trace "$work/trace" --dump-flash "$work/flash"
if ! cmp -s "$work/flash" "$work/img/CAMERA_2E7B91D4.bin"; then
    echo "FAIL: the flash after the run is not the image"; failures=$((failures + 1))
fi
line='^\{"seq":[0-9]+,"device":[0-9]+,"set":"[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}","id":[0-9]+,"flags":[0-9]+,"node":[0-9]+,"out":"([0-9a-f]{2})*","in":"([0-9a-f]{2})*","hr":-?[0-9]+\}$'
bad=$(grep -cvE "$line" "$work/trace")
lines=$(wc -l <"$work/trace")
last_seq=$(tail -n 1 "$work/trace" | sed -E 's/^\{"seq":([0-9]+),.*/\1/')
if [[ $bad -ne 0 || $lines -lt 20000 || "$last_seq" != "$lines" ]]; then
    echo "FAIL: trace has $lines lines, $bad malformed, last seq $last_seq"; failures=$((failures + 1))
fi
# The request that reads the id bytes, to fail it on purpose below.
id_seq=$(grep -m1 '"out":"06c084' "$work/trace" | sed -E 's/^\{"seq":([0-9]+),.*/\1/')

# The recorded run, replayed: exactly the recorded requests; one request short is caught.
"$sim" --time-scale 0 --image-dir "$work/img" --replay "$work/trace" >"$work/replay" 2>&1 ||
    { echo "FAIL: replay of the recorded run: $(tail -n 2 "$work/replay")"; failures=$((failures + 1)); }
head -n -1 "$work/trace" >"$work/short"
if "$sim" --time-scale 0 --image-dir "$work/img" --replay "$work/short" >"$work/replay" 2>&1; then
    echo "FAIL: a replay that runs past the trace passed"; failures=$((failures + 1))
fi

check "no device" 1 "No device !!" --devices webcam,noname
check "camera after others" 0 "Update FW success !!" --devices noname,webcam,camera-nonode
check "in use" 1 "Device is using !! Please close related software !!" --in-use 0x03
check "id read fails" 1 "Check device fail !!" --fault "fail:$id_seq"
check "foreign id" 1 "The device does not require firmware update !!" --firmware-id 00000000
check "second id" 0 "Update FW success !!" --firmware-id 5a3c07f2
check "missing image" 1 "Load FW fail !!" --image-dir "$work/none"
check "erase fails" 1 "Update FW fail !!" --chip 2 --fault no-erase
check "blank check" 1 "Update FW failed !!" --fault corrupt:0xFFFF@1
check "body verify" 1 "Update FW failed !!" --fault bad-cell:0x1234
check "header verify" 1 "Update FW failed !!" --fault corrupt:0x0002@2
check "info fails" 1 "Update FW failed !!" --fault no-info
check "unplugged" 1 "Update FW failed !!" --fault unplug:20000
check "stuck busy" 1 "Update FW failed !!" --chip 5 --flash sst25vf512a --fault busy
check "chunk of one" 0 "Update FW success !!" --chip 0 --flash pm25ld512 --config 0x5a

for bad_options in "--chip 23" "--flash nope" "--fault weird" "--fault corrupt:0x10@0" \
                   "--firmware-id xyz" "--devices camera,toaster" "--config 0x100" "--revision -1"; do
    # shellcheck disable=SC2086
    "$sim" $bad_options >/dev/null 2>&1
    status=$?
    if [[ $status -ne 2 ]]; then
        echo "FAIL: '$bad_options' exited $status, wanted 2"; failures=$((failures + 1))
    else
        passed=$((passed + 1))
    fi
done

echo "$passed passed, $failures failed"
[[ $failures -eq 0 ]]
