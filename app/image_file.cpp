#include "app/image_file.h"

#include <cstdio>

#include "transport/debug_log.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace brivane {

#ifdef _WIN32

bool loadImageFile(const std::string& path, std::vector<std::uint8_t>& image) {
    // No sharing: no other program may hold the file open, and none can open it meanwhile.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        debugLog("image %s: cannot open (error %lu)", path.c_str(), GetLastError());
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

#else

bool loadImageFile(const std::string& path, std::vector<std::uint8_t>& image) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        debugLog("image %s: cannot open", path.c_str());
        return false;
    }
    // One byte more than an image: a longer file is refused, not cut.
    std::vector<std::uint8_t> data(kImageSize + 1);
    const std::size_t total = std::fread(data.data(), 1, data.size(), file);
    const bool readError = std::ferror(file) != 0;
    std::fclose(file);
    if (readError || total != kImageSize) {
        debugLog("image %s: %s (%zu bytes)", path.c_str(), readError ? "read failed" : "wrong size",
                 total);
        return false;
    }
    data.resize(kImageSize);
    image = std::move(data);
    return true;
}

#endif

}  // namespace brivane
