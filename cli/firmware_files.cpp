#include "cli/firmware_files.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "app/image_file.h"
#include "cli/output.h"
#include "cli/sha256.h"
#include "flashlib/flashlib.h"

namespace brivane::cli {
namespace {

namespace fs = std::filesystem;

// The time now in UTC: ISO 8601 for the sidecar, or compact for a file name.
std::string timestamp(bool compact) {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char text[40];
    if (compact) {
        std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &utc);
    } else {
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    }
    return text;
}

// Creates the file only if it does not exist (unless `force`), and writes all of it.
bool writeNew(const std::string& path, const std::string& bytes, bool force, std::string& error) {
    std::error_code ec;
    if (!force && fs::exists(path, ec)) {
        error = path + " exists; --force overwrites it";
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        error = "cannot create " + path;
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace

bool readFlashFile(const std::string& path, std::vector<std::uint8_t>& data, std::string& error) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) {
        error = path + ": no such file";
        return false;
    }
    if (!fs::is_regular_file(status)) {
        error = path + ": not a regular file";
        return false;
    }
    const auto size = fs::file_size(path, ec);
    if (ec || size != kImageSize) {
        error = path + ": " + std::to_string(size) + " bytes, not 65536";
        return false;
    }
    if (!loadImageFile(path, data)) {
        error = path + ": cannot be read";
        return false;
    }
    return true;
}

bool imageIdSupported(const std::vector<std::uint8_t>& image) {
    ProductId id{};
    std::copy(image.begin() + kIdAddress, image.begin() + kIdAddress + 4, id.begin());
    return supportedImageFor(id) != nullptr;
}

bool writeBackup(const std::string& path, const std::vector<std::uint8_t>& flash,
                 const CameraFacts& facts, bool force, std::string& error) {
    const fs::path parent = fs::path(path).parent_path();
    std::error_code ec;
    if (!parent.empty()) {
        fs::create_directories(parent, ec);
    }
    nlohmann::json sidecar = toJson(facts);
    sidecar.erase("inUse");
    sidecar["time"] = timestamp(false);
    sidecar["size"] = flash.size();
    sidecar["sha256"] = sha256Hex(flash);
    if (!writeNew(path, std::string(flash.begin(), flash.end()), force, error)) {
        return false;
    }
    return writeNew(path + ".json", sidecar.dump(2) + "\n", true, error);
}

std::string defaultBackupPath(const CameraFacts& facts) {
    fs::path dir;
#ifdef _WIN32
    const char* local = std::getenv("LOCALAPPDATA");
    dir = fs::path(local != nullptr ? local : ".") / "Brivane" / "backups";
#else
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (data != nullptr && *data == '/') {
        dir = fs::path(data) / "brivane" / "backups";
    } else {
        dir = fs::path(home != nullptr ? home : ".") / ".local" / "share" / "brivane" / "backups";
    }
#endif
    const std::string name = facts.interrupted  ? std::string("interrupted")
                             : facts.firmwareId ? hexBytes(facts.firmwareId->data(), 4)
                                                : std::string("unknown");
    const std::string stem = name + "-" + timestamp(true);
    fs::path path = dir / (stem + ".bin");
    std::error_code ec;
    for (int n = 2; fs::exists(path, ec); ++n) {
        path = dir / (stem + "-" + std::to_string(n) + ".bin");
    }
    return path.string();
}

bool readWholeFlash(std::vector<std::uint8_t>& flash) {
    flash.assign(kImageSize, 0);
    return CamMemTransfer(transfer::read, 0, flash.data(), kImageSize) != 0;
}

}  // namespace brivane::cli
