#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/image_file.h"
#include "transport/debug_log.h"

namespace brivane {

bool loadImageFile(const std::string& path, std::vector<std::uint8_t>& image) {
    // O_NONBLOCK: opening a FIFO with no writer must not wait. Anything but a regular file is
    // refused before a byte is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        debugLog("image %s: cannot open (%s)", path.c_str(), std::strerror(errno));
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        debugLog("image %s: not a regular file", path.c_str());
        ::close(fd);
        return false;
    }
    // One byte more than an image: a longer file is refused, not cut.
    std::vector<std::uint8_t> data(kImageSize + 1);
    std::size_t total = 0;
    bool readError = false;
    while (total < data.size()) {
        const ssize_t got = ::read(fd, data.data() + total, data.size() - total);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            readError = got < 0;
            break;
        }
        total += static_cast<std::size_t>(got);
    }
    ::close(fd);
    if (readError || total != kImageSize) {
        debugLog("image %s: %s (%zu bytes)", path.c_str(), readError ? "read failed" : "wrong size",
                 total);
        return false;
    }
    data.resize(kImageSize);
    image = std::move(data);
    return true;
}

}  // namespace brivane
