#!/bin/busybox sh
# Runs inside the virtual machine as its first process: loads uvcvideo and vhci-hcd, plugs the
# emulated camera (and a plain webcam) in through USB/IP, and runs the cases, each reporting
# "CASE name: PASS" or "CASE name: FAIL why" on the serial console. Ends by powering off.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /tmp /run && mount -t tmpfs tmpfs /tmp
export PATH=/bin:/usr/bin LD_LIBRARY_PATH=/lib64:/lib HOME=/tmp XDG_DATA_HOME=/tmp/data
echo "guest: $(uname -r), $(nproc) cpu"
for m in usb-common usbcore mc videodev videobuf2-common videobuf2-v4l2 videobuf2-memops \
         videobuf2-vmalloc uvcvideo usbip-core vhci-hcd; do
    insmod /modules/$m.ko || echo "guest: insmod $m failed"
done
ip link set lo up 2>/dev/null || ifconfig lo 127.0.0.1 up

result() { echo "CASE $1: $2"; }

# uvcvideo makes two nodes per camera: video capture and metadata.
wait_video() {  # cameras: waits until their nodes exist
    for _ in $(seq 200); do
        [ "$(ls /dev/video* 2>/dev/null | wc -l)" -ge $(($1 * 2)) ] && return 0
        sleep 0.1
    done
    return 1
}

unplug_all() {
    for port in 0 1; do echo $port > /sys/devices/platform/vhci_hcd.0/detach 2>/dev/null; done
    sleep 0.5
}

# Case 1: a whole update through the real driver, the flash equal to the image.
brivane-usbip --vhci-port 0 --dump-flash /tmp/flash1 --trace /tmp/trace1 >/tmp/usbip1.log 2>&1 &
server=$!
if wait_video 1; then
    dmesg | grep -i 'uvcvideo\|Found UVC' | tail -3
    start=$(date +%s)
    brivanectl update --image-dir /images --backup /tmp/b1.bin --no-progress >/tmp/out1 2>&1
    status=$?
    echo "guest: the update took $(($(date +%s) - start)) s"
    tail -n 1 /tmp/out1
    unplug_all
    wait $server
    # The requests as the camera received them, without their sequence numbers.
    echo "TRACE $(sed 's/^{"seq":[0-9]*,//' /tmp/trace1 | md5sum | cut -d' ' -f1)"
    if [ $status -eq 0 ] && [ "$(tail -n 1 /tmp/out1)" = "Update FW success !!" ] &&
       cmp -s /tmp/flash1 /images/CAMERA_2E7B91D4.bin; then
        result update "PASS ($(wc -l < /tmp/trace1) requests through UVCIOC_CTRL_QUERY)"
    else
        result update "FAIL status $status: $(tail -n 2 /tmp/out1 | tr '\n' ' ')"
    fi
else
    result update "FAIL no video node"; cat /tmp/usbip1.log; dmesg | tail -20
fi

# Case 2: the camera beside a plain webcam; the driver's own refusals.
brivane-usbip --vhci-port 0 --webcam >/tmp/usbip2w.log 2>&1 &
webcam=$!
wait_video 1
brivane-usbip --vhci-port 1 >/tmp/usbip2.log 2>&1 &
server=$!
if wait_video 2; then
    brivanectl --json list >/tmp/list2 2>&1
    cameras=$(grep -c '"camera": true' /tmp/list2)
    others=$(grep -c '"camera": false' /tmp/list2)
    brivanectl info >/tmp/out2 2>&1
    status=$?
    camera_node=$(sed -n 's/^device  *//p' /tmp/out2)
    uvc_query "$camera_node" 3 >/tmp/query2 2>&1
    cat /tmp/query2
    unplug_all
    wait $server $webcam
    if [ "$cameras" = 1 ] && [ "$others" -ge 1 ] && [ $status -eq 0 ] && [ -n "$camera_node" ]; then
        result "camera beside a webcam" PASS
    else
        result "camera beside a webcam" "FAIL cameras $cameras others $others status $status: $(tail -n 1 /tmp/out2)"
        cat /tmp/list2
    fi
    if grep -q 'length of control 3: ok 0c 00' /tmp/query2 &&
       grep -q 'info of control 1: ok 03' /tmp/query2 &&
       grep -q 'control 1 read with 8 bytes: No buffer space available' /tmp/query2 &&
       grep -q 'unknown unit: No such file or directory' /tmp/query2 &&
       grep -q 'control 6: No such file or directory' /tmp/query2; then
        result "driver refusals" PASS
    else
        result "driver refusals" "FAIL $(tr '\n' ';' < /tmp/query2)"
    fi
else
    result "camera beside a webcam" "FAIL no second video node"; dmesg | tail -20
fi

# Case 3: the camera pulled out in the middle of the body write (no backup: the write starts
# sooner).
brivane-usbip --vhci-port 0 --fault unplug:12000 >/tmp/usbip3.log 2>&1 &
server=$!
if wait_video 1; then
    BRIVANE_DEBUG=1 timeout 300 brivanectl update --image-dir /images --no-backup --no-progress >/tmp/out3 2>/tmp/err3
    status=$?
    grep 'UVCIOC_CTRL_QUERY' /tmp/err3 | head -n 2
    wait $server
    if [ $status -eq 1 ] && tail -n 1 /tmp/out3 | grep -q '^Update FW failed !! at body write; the camera is gone'; then
        result unplug PASS
    else
        result unplug "FAIL status $status: $(tail -n 2 /tmp/out3 | tr '\n' ' ')"
    fi
else
    result unplug "FAIL no video node"
fi
unplug_all

echo "guest: done"
poweroff -f
