// The texts the user sees.
#pragma once

namespace brivane::text {

inline constexpr const char* initializing = "Initializing";
inline constexpr const char* processing = "Processing";
inline constexpr const char* autoClose = "The process will auto close after 3 seconds.";
inline constexpr const char* hint =
    "The process needs about 1 minute. Please don't turn off the power during the process!!";

inline constexpr const char* noDevice = "No device !!";
inline constexpr const char* deviceInUse = "Device is using !! Please close related software !!";
inline constexpr const char* checkDeviceFail = "Check device fail !!";
inline constexpr const char* noUpdateNeeded = "The device does not require firmware update !!";
inline constexpr const char* loadFail = "Load FW fail !!";
inline constexpr const char* eraseFail = "Update FW fail !!";
inline constexpr const char* updateFailed = "Update FW failed !!";
inline constexpr const char* success = "Update FW success !!";

}  // namespace brivane::text
