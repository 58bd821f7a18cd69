#!/usr/bin/env bash
# brivanectl from the outside, as a shell user meets it: help and version, the documented exit
# statuses, standard output that holds one JSON document under --json, plain progress lines when
# standard error is not a terminal, the backup's sidecar checked with sha256sum, and an update
# whose requests are recorded.
set -u
ctl="$1" sim="$2" version="$3"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/data" BRIVANE_LOCK_DIR="$work"
failures=0
passed=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
ok() { passed=$((passed + 1)); }

expect_status() {  # name, wanted status, command...
    local name="$1" want="$2"
    shift 2
    "$@" >"$work/out" 2>"$work/err"
    local status=$?
    if [[ $status -ne $want ]]; then
        fail "$name: exit $status, wanted $want"
        sed 's/^/    /' "$work/err" | head -5
    else
        ok
    fi
}

mkdir -p "$work/img"
"$sim" --write-images "$work/img" >/dev/null || { echo "FAIL: --write-images"; exit 1; }
emu=(--emulated)

expect_status "help" 0 "$ctl" --help
grep -q "Exit status: 0 done" "$work/out" || fail "help names no exit statuses"
expect_status "version" 0 "$ctl" --version
[[ "$(cat "$work/out")" == "brivanectl $version" ]] || fail "version: $(cat "$work/out")"
"$sim" --version >"$work/out"
[[ "$(cat "$work/out")" == "brivane-sim $version" ]] || fail "brivane-sim version: $(cat "$work/out")"
expect_status "no command" 2 "$ctl"
expect_status "unknown option" 2 "$ctl" --bogus list
expect_status "camera option without --emulated" 2 "$ctl" --chip 2 list
expect_status "bad fault" 2 "$ctl" "${emu[@]}" --fault weird list

# list and info: JSON on standard output and nothing else.
expect_status "list --json" 0 "$ctl" "${emu[@]}" --devices webcam,camera --json list
jq -e '.devices | length == 2 and .[1].camera and (.[0].camera | not)' "$work/out" >/dev/null ||
    fail "list --json: $(head -c 300 "$work/out")"
expect_status "info --json" 0 "$ctl" "${emu[@]}" --json info
jq -e '.chip.row == 18 and .firmwareId == "2e7b91d4" and .inUse == false' "$work/out" >/dev/null ||
    fail "info --json: $(head -c 300 "$work/out")"

# The documented statuses.
expect_status "no camera" 3 "$ctl" "${emu[@]}" --devices webcam update --image-dir "$work/img"
expect_status "in use" 4 "$ctl" "${emu[@]}" --in-use 3 update --image-dir "$work/img"
expect_status "two cameras" 5 "$ctl" "${emu[@]}" --devices camera,camera update --image-dir "$work/img"
[[ $(grep -c 'usb#' "$work/err") -eq 2 ]] || fail "two cameras: both are not listed"
expect_status "wrong-size image" 2 "$ctl" "${emu[@]}" update --image /dev/null

# backup: the sidecar's digest is the file's.
expect_status "backup" 0 "$ctl" "${emu[@]}" backup "$work/b.bin"
[[ "$(jq -r .sha256 "$work/b.bin.json")" == "$(sha256sum "$work/b.bin" | cut -d' ' -f1)" ]] ||
    fail "backup: the sidecar's sha256 is not the file's"
expect_status "backup kept" 1 "$ctl" "${emu[@]}" backup "$work/b.bin"
expect_status "verify equal" 0 "$ctl" "${emu[@]}" verify "$work/b.bin"
expect_status "verify differs" 1 "$ctl" "${emu[@]}" verify "$work/img/CAMERA_2E7B91D4.bin"
grep -q "the first at 0x" "$work/out" || fail "verify: no first differing address"

# update: traced, progress as plain lines on a pipe, the flash dumped.
expect_status "update" 0 "$ctl" "${emu[@]}" --dump-flash "$work/flash" --trace "$work/trace" \
    update --image-dir "$work/img" --backup "$work/before.bin"
[[ "$(tail -n 1 "$work/out")" == "Update FW success !!" ]] || fail "update: $(tail -n 1 "$work/out")"
cmp -s "$work/flash" "$work/img/CAMERA_2E7B91D4.bin" || fail "update: the flash is not the image"
grep -q '^100% post-update$' "$work/err" || fail "update: no plain progress lines"
[[ $(wc -l <"$work/trace") -gt 30000 ]] || fail "update: the trace is short"
cmp -s "$work/before.bin" "$work/b.bin" || fail "update: the backup is not the flash before"

# A failure after the erase: rolled back and said so.
expect_status "rollback" 1 "$ctl" "${emu[@]}" --fault corrupt:0x2000@3 --dump-flash "$work/flash2" \
    update --image-dir "$work/img" --backup "$work/before2.bin" --no-progress
grep -q "restored and verified" "$work/out" || fail "rollback: $(cat "$work/out")"
cmp -s "$work/flash2" "$work/b.bin" || fail "rollback: the flash is not the original"
expect_status "update --json" 1 "$ctl" "${emu[@]}" --json --fault corrupt:0x2000@3 \
    update --image-dir "$work/img" --backup "$work/before3.bin"
jq -e '.success == false and .failedStep == "body verification" and .rollback.verified' \
    "$work/out" >/dev/null || fail "update --json: $(head -c 400 "$work/out")"

echo "$passed passed, $failures failed"
[[ $failures -eq 0 ]]
