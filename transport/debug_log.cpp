#include "transport/debug_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace brivane {
namespace {

std::mutex sinkMutex;
std::function<void(const std::string&)> installedSink;

bool enabledByEnvironment() {
    static const bool enabled = [] {
        const char* v = std::getenv("BRIVANE_DEBUG");
        return v != nullptr && *v != '\0' && *v != '0';
    }();
    return enabled;
}

}  // namespace

void setDebugSink(std::function<void(const std::string&)> sink) {
    std::lock_guard lock(sinkMutex);
    installedSink = std::move(sink);
}

void debugLog(const char* format, ...) {
    std::lock_guard lock(sinkMutex);
    if (!installedSink && !enabledByEnvironment()) {
        return;
    }
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (installedSink) {
        installedSink(text);
    } else {
        std::fprintf(stderr, "brivane: %s\n", text);
    }
}

}  // namespace brivane
