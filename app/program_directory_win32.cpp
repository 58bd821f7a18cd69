#include <windows.h>

#include <cstdlib>

#include "app/program_directory.h"

namespace brivane {

std::string ProgramDirectory() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    char drive[_MAX_DRIVE] = {};
    char dir[_MAX_DIR] = {};
    _splitpath(path, drive, dir, nullptr, nullptr);
    return std::string(drive) + dir;
}

}  // namespace brivane
