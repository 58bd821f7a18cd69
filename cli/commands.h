// brivanectl's commands. Each reaches the camera only through the flash library and returns
// the program's exit status.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "cli/output.h"
#include "cli/session.h"

namespace brivane::cli {

struct WriteOptions {
    std::optional<std::string> image;     // update --image FILE; restore FILE
    std::optional<std::string> imageDir;  // where the image files chosen by id bytes live
    std::optional<std::string> backup;    // --backup FILE
    bool noBackup = false;
    bool force = false;
    bool progress = true;
    std::FILE* progressOut = stderr;  // where the progress goes: a bar on a terminal, else lines
    // Called after each request with the fraction done and the time left, when known.
    std::function<void(double fraction, std::optional<double> secondsLeft)> progressSample;
};

int runList(Session& session, Output& out);
int runInfo(Session& session, Output& out);
int runBackup(Session& session, Output& out, const std::string& file, bool force);
int runVerify(Session& session, Output& out, const std::string& file);
int runUpdate(Session& session, Output& out, const WriteOptions& options);
int runRestore(Session& session, Output& out, const WriteOptions& options);

// Chooses the camera and opens it on slot 0: 0, or the exit status with the reason said.
int openCamera(Session& session, Output& out);

}  // namespace brivane::cli
