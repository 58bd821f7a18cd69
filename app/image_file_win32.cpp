#include <windows.h>

#include "app/image_file.h"
#include "transport/debug_log.h"

namespace brivane {

bool loadImageFile(const std::string& path, std::vector<std::uint8_t>& image) {
    // No sharing: no other program may hold the file open, and none can open it meanwhile.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        debugLog("image %s: cannot open (error %lu)", path.c_str(), GetLastError());
        return false;
    }
    // A pipe, a console or a device is refused before a byte is read: reading one may block.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        debugLog("image %s: not a regular file", path.c_str());
        CloseHandle(file);
        return false;
    }
    std::vector<std::uint8_t> data(kImageSize + 1);
    DWORD total = 0;
    bool ok = true;
    while (ok && total < data.size()) {
        DWORD got = 0;
        ok = ReadFile(file, data.data() + total, static_cast<DWORD>(data.size() - total), &got,
                      nullptr) != 0;
        if (ok && got == 0) {
            break;
        }
        total += got;
    }
    CloseHandle(file);
    if (!ok || total != kImageSize) {
        debugLog("image %s: %s (%lu bytes)", path.c_str(), ok ? "wrong size" : "read failed",
                 static_cast<unsigned long>(total));
        return false;
    }
    data.resize(kImageSize);
    image = std::move(data);
    return true;
}

}  // namespace brivane
