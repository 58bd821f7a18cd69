#pragma once

#include <string>

namespace brivane {

// The drive and directory of the running program's executable, ending with a path separator.
std::string ProgramDirectory();

}  // namespace brivane
