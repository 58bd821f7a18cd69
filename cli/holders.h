// Which programs hold a device open (Linux: from /proc/*/fd; elsewhere unknown).
#pragma once

#include <string>
#include <vector>

namespace brivane::cli {

struct Holder {
    int pid;
    std::string name;
};

std::vector<Holder> holdersOf(const std::string& devicePath);

}  // namespace brivane::cli
