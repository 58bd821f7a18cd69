#include "cli/output.h"

namespace brivane::cli {

void Output::line(const std::string& text) {
    if (!json_) {
        std::fprintf(out_, "%s\n", text.c_str());
        std::fflush(out_);
    }
}

void Output::warn(const std::string& text) {
    std::fprintf(err_, "brivanectl: warning: %s\n", text.c_str());
}

void Output::error(const std::string& text) {
    std::fprintf(err_, "brivanectl: %s\n", text.c_str());
}

void Output::finish() {
    if (json_) {
        std::fprintf(out_, "%s\n", data_.dump(2).c_str());
        std::fflush(out_);
    }
}

std::string hexBytes(const std::uint8_t* bytes, std::size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < count; ++i) {
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    return s;
}

}  // namespace brivane::cli
