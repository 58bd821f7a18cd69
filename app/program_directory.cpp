#include "app/program_directory.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#else
#include <unistd.h>

#include <climits>
#endif

namespace brivane {

#ifdef _WIN32

std::string ProgramDirectory() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    char drive[_MAX_DRIVE] = {};
    char dir[_MAX_DIR] = {};
    _splitpath(path, drive, dir, nullptr, nullptr);
    return std::string(drive) + dir;
}

#else

std::string ProgramDirectory() {
    char path[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        return "./";
    }
    std::string text(path, static_cast<std::size_t>(n));
    return text.substr(0, text.find_last_of('/') + 1);
}

#endif

}  // namespace brivane
