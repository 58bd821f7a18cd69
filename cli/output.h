// What brivanectl tells its user: text lines on standard output, or with --json one JSON
// document and nothing else; warnings and errors on standard error either way.
#pragma once

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

namespace brivane::cli {

class Output {
public:
    Output(bool json, std::FILE* out = stdout, std::FILE* err = stderr)
        : json_(json), out_(out), err_(err) {}
    ~Output() = default;
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    bool json() const { return json_; }
    // The document that --json prints at the end; text mode ignores it.
    nlohmann::json& data() { return data_; }
    // A line of text output (text mode only).
    void line(const std::string& text);
    // On standard error in both modes.
    void warn(const std::string& text);
    void error(const std::string& text);
    // Prints the JSON document (json mode); call once, at the end.
    void finish();

    std::FILE* errStream() const { return err_; }

private:
    bool json_;
    std::FILE* out_;
    std::FILE* err_;
    nlohmann::json data_ = nlohmann::json::object();
};

std::string hexBytes(const std::uint8_t* bytes, std::size_t count);

}  // namespace brivane::cli
