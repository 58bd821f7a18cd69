#include "cli/holders.h"

namespace brivane::cli {

// Windows does not tell which process streams from a camera.
std::vector<Holder> holdersOf(const std::string&) {
    return {};
}

}  // namespace brivane::cli
