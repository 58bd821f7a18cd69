// Asks the uvcvideo driver directly, the way a careless host might, and prints what it answers:
// the size of a control, a query of the wrong size, an unknown unit, a selector outside the
// unit's controls. The kernel test reads its lines.
#include <fcntl.h>
#include <linux/usb/video.h>
#include <linux/uvcvideo.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void query(int fd, const char* name, std::uint8_t unit, std::uint8_t selector, std::uint8_t kind,
           std::uint16_t size) {
    std::uint8_t data[64] = {};
    uvc_xu_control_query q{};
    q.unit = unit;
    q.selector = selector;
    q.query = kind;
    q.size = size;
    q.data = data;
    const int r = ::ioctl(fd, UVCIOC_CTRL_QUERY, &q);
    if (r == 0) {
        std::printf("%s: ok %02x %02x\n", name, data[0], data[1]);
    } else {
        std::printf("%s: %s\n", name, std::strerror(errno));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: uvc_query /dev/videoN UNIT\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDWR);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    const auto unit = static_cast<std::uint8_t>(std::atoi(argv[2]));
    query(fd, "length of control 3", unit, 3, UVC_GET_LEN, 2);
    query(fd, "info of control 1", unit, 1, UVC_GET_INFO, 1);
    query(fd, "control 1 read with 8 bytes", unit, 1, UVC_GET_CUR, 8);
    query(fd, "unknown unit", 9, 1, UVC_GET_CUR, 4);
    query(fd, "control 6", unit, 6, UVC_GET_CUR, 4);
    ::close(fd);
    return 0;
}
