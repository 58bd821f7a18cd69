// The operating-system calls the Linux platform makes, behind one seam so that tests can stand
// in for the device nodes and the sysfs tree.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace brivane {

class LinuxSystem {
public:
    virtual ~LinuxSystem() = default;
    // A file descriptor, or -errno.
    virtual int open(const std::string& path, int flags) = 0;
    virtual void close(int fd) = 0;
    // 0, or -errno.
    virtual int ioctl(int fd, unsigned long request, void* argument) = 0;
    virtual std::optional<std::vector<std::uint8_t>> readFile(const std::string& path) = 0;
    virtual std::vector<std::string> listDirectory(const std::string& path) = 0;
    // The path with every link resolved, or nothing.
    virtual std::optional<std::string> resolve(const std::string& path) = 0;

    std::string sysfsRoot = "/sys";
    std::string devRoot = "/dev";
};

// The real calls, on the real /sys and /dev.
class RealLinuxSystem : public LinuxSystem {
public:
    int open(const std::string& path, int flags) override;
    void close(int fd) override;
    int ioctl(int fd, unsigned long request, void* argument) override;
    std::optional<std::vector<std::uint8_t>> readFile(const std::string& path) override;
    std::vector<std::string> listDirectory(const std::string& path) override;
    std::optional<std::string> resolve(const std::string& path) override;
};

}  // namespace brivane
