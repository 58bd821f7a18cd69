#!/usr/bin/env bash
# The packages a user installs: the Debian package's control fields and contents, its desktop
# entry and metainfo, lintian's verdict, and its brivane-sim installed into a scratch root running
# an update to success; then the Windows zip unpacked and its brivane-sim.exe run under wine.
set -u
deb=$(realpath "$1") zip=$(realpath "$2") version="$3" wine_run=$(realpath "$4")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
passed=0
check() {  # name, command...
    local name="$1"
    shift
    if "$@" >"$work/log" 2>&1; then
        passed=$((passed + 1))
    else
        echo "FAIL $name"
        sed 's/^/    /' "$work/log" | head -20
        failures=$((failures + 1))
    fi
}
field() { dpkg-deb --field "$deb" "$1"; }

check "package name" test "$(field Package)" = brivane
check "package version" test "$(field Version)" = "$version"
check "file name carries the version" test "$(basename "$deb")" = "brivane_${version}_amd64.deb"
check "architecture" test "$(field Architecture)" = amd64
check "computed dependencies" bash -c "dpkg-deb --field '$deb' Depends | grep -q 'libqt6widgets6' && dpkg-deb --field '$deb' Depends | grep -q 'libc6'"
check "postinst reloads udev" bash -c "dpkg-deb --ctrl-tarfile '$deb' | tar -xO ./postinst | grep -q 'udevadm trigger'"

dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
for path in /usr/bin/brivane /usr/bin/brivanectl /usr/bin/brivane-sim \
            /lib/udev/rules.d/70-brivane-camera.rules /usr/share/applications/brivane.desktop \
            /usr/share/metainfo/io.github.brivane.Brivane.metainfo.xml \
            /usr/share/icons/hicolor/16x16/apps/brivane.png /usr/share/icons/hicolor/48x48/apps/brivane.png \
            /usr/share/icons/hicolor/256x256/apps/brivane.png /usr/share/doc/brivane/README.md \
            /usr/share/doc/brivane/copyright /usr/share/doc/brivane/changelog.gz; do
    check "contains $path" grep -qx "$path" "$work/contents"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
check "desktop entry" desktop-file-validate "$root/usr/share/applications/brivane.desktop"
check "metainfo" appstreamcli validate --no-net --pedantic --explain \
    "$root/usr/share/metainfo/io.github.brivane.Brivane.metainfo.xml"
check "metainfo version" grep -q "release version=\"$version\"" \
    "$root/usr/share/metainfo/io.github.brivane.Brivane.metainfo.xml"
check "lintian reports no error" bash -c "lintian --allow-root '$deb' | tee /dev/stderr | { ! grep -q '^E:'; }"
check "installed brivanectl --version" test "$("$root/usr/bin/brivanectl" --version)" = "brivanectl $version"
mkdir -p "$work/images"
check "installed brivane-sim writes its images" "$root/usr/bin/brivane-sim" --write-images "$work/images"
check "installed brivane-sim updates to success" env BRIVANE_LOCK_DIR="$work" \
    "$root/usr/bin/brivane-sim" --headless --time-scale 0 --image-dir "$work/images"

mkdir -p "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip")
for name in brivane.exe brivanectl.exe brivane-sim.exe README-Windows.txt; do
    check "zip holds $name" test -f "$work/zip/$name"
done
check "zip file name carries the version" test "$(basename "$zip")" = "brivane-${version}-win64.zip"
winpath() { local p; p=$(realpath "$1"); echo "Z:${p//\//\\}"; }
mkdir -p "$work/zip/images"
check "brivane-sim.exe from the zip writes its images" \
    "$wine_run" "$work/zip/brivane-sim.exe" --write-images "$(winpath "$work/zip/images")"
check "brivane-sim.exe from the zip updates to success" \
    "$wine_run" "$work/zip/brivane-sim.exe" --headless --time-scale 0 --image-dir "$(winpath "$work/zip/images")"

echo "$passed passed, $failures failed"
((failures == 0))
