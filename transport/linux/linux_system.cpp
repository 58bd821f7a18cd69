#include "transport/linux/linux_system.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace brivane {

int RealLinuxSystem::open(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

void RealLinuxSystem::close(int fd) {
    ::close(fd);
}

int RealLinuxSystem::ioctl(int fd, unsigned long request, void* argument) {
    int r = 0;
    do {
        r = ::ioctl(fd, request, argument);
    } while (r < 0 && errno == EINTR);
    return r < 0 ? -errno : 0;
}

std::optional<std::vector<std::uint8_t>> RealLinuxSystem::readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> RealLinuxSystem::listDirectory(const std::string& path) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

std::optional<std::string> RealLinuxSystem::resolve(const std::string& path) {
    std::error_code error;
    const auto resolved = std::filesystem::canonical(path, error);
    if (error) {
        return std::nullopt;
    }
    return resolved.string();
}

}  // namespace brivane
