// Image and backup files: checked before anything on the camera changes, written without
// overwriting what is there, each backup with a sidecar that says what it holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/camera_facts.h"

namespace brivane::cli {

// Reads a whole image or backup: exactly 65536 bytes of a regular file. False with `error` set.
bool readFlashFile(const std::string& path, std::vector<std::uint8_t>& data, std::string& error);

// The image's own id bytes name a supported image.
bool imageIdSupported(const std::vector<std::uint8_t>& image);

// Writes the flash contents to `path` and the sidecar to `path` + ".json"; an existing file is
// kept unless `force`. False with `error` set.
bool writeBackup(const std::string& path, const std::vector<std::uint8_t>& flash,
                 const CameraFacts& facts, bool force, std::string& error);

// The user's backup folder ($XDG_DATA_HOME/brivane/backups, %LOCALAPPDATA%\Brivane\backups), a
// file in it named by the firmware id and the time.
std::string defaultBackupPath(const CameraFacts& facts);

// The whole flash, through the library.
bool readWholeFlash(std::vector<std::uint8_t>& flash);

}  // namespace brivane::cli
