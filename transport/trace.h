// The request trace: a decorator around any platform that reports every property request, in
// call order, to a sink. The JSON Lines sink writes one object per request:
// {"seq":1,"device":0,"set":"…","id":1,"flags":268435458,"node":2,"out":"8010ab00","in":"","hr":0}
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "transport/ks_platform.h"

namespace brivane {

struct TraceRecord {
    std::uint64_t seq = 0;  // 1-based
    int device = 0;         // 0-based index in enumeration order
    Guid set{};
    std::uint32_t id = 0;
    std::uint32_t flags = 0;
    std::uint32_t node = 0;
    std::vector<std::uint8_t> out;  // data as passed in
    std::vector<std::uint8_t> in;   // data after a GET; empty otherwise
    HResult hr = 0;
};

std::string formatTraceLine(const TraceRecord& record);

class TraceSink {
public:
    virtual ~TraceSink() = default;
    virtual void record(const TraceRecord& record) = 0;
};

// Appends one line per request to a file.
class JsonLinesTraceSink : public TraceSink {
public:
    explicit JsonLinesTraceSink(const std::string& path);
    ~JsonLinesTraceSink() override;
    JsonLinesTraceSink(const JsonLinesTraceSink&) = delete;
    JsonLinesTraceSink& operator=(const JsonLinesTraceSink&) = delete;
    bool isOpen() const { return file_ != nullptr; }
    void record(const TraceRecord& record) override;

private:
    std::FILE* file_;
};

// Keeps every record in memory.
class MemoryTraceSink : public TraceSink {
public:
    void record(const TraceRecord& record) override { records.push_back(record); }
    std::vector<TraceRecord> records;
};

// Wraps `inner`; every property request made through any object it hands out is reported.
std::unique_ptr<KsPlatform> makeTracingPlatform(KsPlatform& inner, TraceSink& sink);

}  // namespace brivane
