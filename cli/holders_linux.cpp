#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "cli/holders.h"

namespace brivane::cli {

std::vector<Holder> holdersOf(const std::string& devicePath) {
    namespace fs = std::filesystem;
    std::vector<Holder> holders;
    std::error_code ec;
    const fs::path target = fs::canonical(devicePath, ec);
    if (ec) {
        return holders;
    }
    for (const auto& process : fs::directory_iterator("/proc", ec)) {
        const std::string pid = process.path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(pid) == ::getpid()) {
            continue;
        }
        std::error_code fdError;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
            std::error_code linkError;
            if (fs::read_symlink(fd.path(), linkError) == target) {
                std::string name;
                std::ifstream(process.path() / "comm") >> name;
                holders.push_back({std::stoi(pid), name});
                break;
            }
        }
    }
    return holders;
}

}  // namespace brivane::cli
