#include <unistd.h>

#include <climits>

#include "app/program_directory.h"

namespace brivane {

std::string ProgramDirectory() {
    char path[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        return "./";
    }
    std::string text(path, static_cast<std::size_t>(n));
    return text.substr(0, text.find_last_of('/') + 1);
}

}  // namespace brivane
