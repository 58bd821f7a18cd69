#include "cli/session.h"
#include "transport/linux/linux_platform.h"

namespace brivane::cli {
namespace {

struct SystemCalls {
    RealLinuxSystem calls;
};

// The real calls live as long as the platform that makes them (and are built before it).
class SystemPlatform : private SystemCalls, public LinuxPlatform {
public:
    SystemPlatform() : LinuxPlatform(calls) {}
};

}  // namespace

std::unique_ptr<KsPlatform> makeSystemPlatform() {
    return std::make_unique<SystemPlatform>();
}

}  // namespace brivane::cli
