// brivanectl's exit statuses, as its help and the README document them.
#pragma once

namespace brivane::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoCamera = 3;
inline constexpr int kExitInUse = 4;
inline constexpr int kExitManyCameras = 5;

inline constexpr const char* kExitHelp =
    "Exit status: 0 done; 1 the operation failed; 2 bad usage; 3 no camera; 4 camera in use;\n"
    "5 more than one camera and no --device.";

}  // namespace brivane::cli
