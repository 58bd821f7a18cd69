#include "cli/session.h"
#include "transport/win32/win32_platform.h"

namespace brivane::cli {

std::unique_ptr<KsPlatform> makeSystemPlatform() {
    return std::make_unique<Win32Platform>();
}

}  // namespace brivane::cli
