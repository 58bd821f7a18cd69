// Diagnostics that nothing shows the user. Silent unless BRIVANE_DEBUG is set in the environment
// (then they go to standard error) or a test installs a sink.
#pragma once

#include <functional>
#include <string>

namespace brivane {

void debugLog(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Replaces where diagnostics go; an empty function restores the default.
void setDebugSink(std::function<void(const std::string&)> sink);

}  // namespace brivane
