#include "transport/trace.h"

#include <cinttypes>

namespace brivane {
namespace {

std::string hex(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 0x0F];
    }
    return text;
}

struct TraceContext {
    TraceSink& sink;
    std::uint64_t seq = 0;
};

class TracingControl : public KsControl {
public:
    // Wraps a control the filter keeps.
    TracingControl(KsControl* inner, TraceContext& context, int device)
        : inner_(inner), context_(context), device_(device) {}
    // Wraps a node control and keeps it.
    TracingControl(std::unique_ptr<KsControl> owned, TraceContext& context, int device)
        : owned_(std::move(owned)), inner_(owned_.get()), context_(context), device_(device) {}

    HResult ksProperty(const KspNode& p, std::uint8_t* data, std::uint32_t length) override {
        TraceRecord record;
        record.device = device_;
        record.set = p.set;
        record.id = p.id;
        record.flags = p.flags;
        record.node = p.nodeId;
        if (data != nullptr) {
            record.out.assign(data, data + length);
        }
        record.hr = inner_->ksProperty(p, data, length);
        if ((p.flags & ksflags::get) != 0 && data != nullptr) {
            record.in.assign(data, data + length);
        }
        record.seq = ++context_.seq;
        context_.sink.record(record);
        return record.hr;
    }

private:
    std::unique_ptr<KsControl> owned_;
    KsControl* inner_;
    TraceContext& context_;
    int device_;
};

class TracingTopology : public KsTopology {
public:
    TracingTopology(std::unique_ptr<KsTopology> inner, TraceContext& context, int device)
        : inner_(std::move(inner)), context_(context), device_(device) {}
    HResult nodeCount(std::uint32_t& count) override { return inner_->nodeCount(count); }
    HResult nodeType(std::uint32_t node, Guid& type) override {
        return inner_->nodeType(node, type);
    }
    HResult createNodeControl(std::uint32_t node, std::unique_ptr<KsControl>& control) override {
        const HResult r = inner_->createNodeControl(node, control);
        if (control) {
            control = std::make_unique<TracingControl>(std::move(control), context_, device_);
        }
        return r;
    }

private:
    std::unique_ptr<KsTopology> inner_;
    TraceContext& context_;
    int device_;
};

class TracingFilter : public KsFilter {
public:
    TracingFilter(std::unique_ptr<KsFilter> inner, TraceContext& context, int device)
        : inner_(std::move(inner)), context_(context), device_(device) {}
    HResult queryTopology(std::unique_ptr<KsTopology>& topology) override {
        const HResult r = inner_->queryTopology(topology);
        if (topology) {
            topology = std::make_unique<TracingTopology>(std::move(topology), context_, device_);
        }
        return r;
    }
    HResult queryControl(KsControl*& control) override {
        const HResult r = inner_->queryControl(control);
        if (control != nullptr) {
            // One wrapper for as long as the filter hands out the same control.
            if (control != wrapped_) {
                wrapped_ = control;
                wrapper_ = std::make_unique<TracingControl>(control, context_, device_);
            }
            control = wrapper_.get();
        }
        return r;
    }

private:
    std::unique_ptr<KsFilter> inner_;
    KsControl* wrapped_ = nullptr;
    std::unique_ptr<KsControl> wrapper_;
    TraceContext& context_;
    int device_;
};

class TracingDevice : public KsDevice {
public:
    TracingDevice(std::unique_ptr<KsDevice> inner, TraceContext& context, int index)
        : inner_(std::move(inner)), context_(context), index_(index) {}
    HResult bindPropertyBag(std::unique_ptr<KsPropertyBag>& bag) override {
        return inner_->bindPropertyBag(bag);
    }
    HResult bindFilter(std::unique_ptr<KsFilter>& filter) override {
        const HResult r = inner_->bindFilter(filter);
        if (filter) {
            filter = std::make_unique<TracingFilter>(std::move(filter), context_, index_);
        }
        return r;
    }

private:
    std::unique_ptr<KsDevice> inner_;
    TraceContext& context_;
    int index_;
};

class TracingDeviceList : public KsDeviceList {
public:
    TracingDeviceList(std::unique_ptr<KsDeviceList> inner, TraceContext& context)
        : inner_(std::move(inner)), context_(context) {}
    void reset() override {
        inner_->reset();
        next_ = 0;
    }
    HResult next(std::unique_ptr<KsDevice>& device) override {
        const HResult r = inner_->next(device);
        if (device) {
            device = std::make_unique<TracingDevice>(std::move(device), context_, next_++);
        }
        return r;
    }

private:
    std::unique_ptr<KsDeviceList> inner_;
    TraceContext& context_;
    int next_ = 0;
};

class TracingPlatform : public KsPlatform {
public:
    TracingPlatform(KsPlatform& inner, TraceSink& sink) : inner_(inner), context_{sink} {}
    HResult initialize() override { return inner_.initialize(); }
    void uninitialize() override { inner_.uninitialize(); }
    HResult videoInputDevices(std::unique_ptr<KsDeviceList>& list) override {
        const HResult r = inner_.videoInputDevices(list);
        if (list) {
            list = std::make_unique<TracingDeviceList>(std::move(list), context_);
        }
        return r;
    }

private:
    KsPlatform& inner_;
    TraceContext context_;
};

}  // namespace

std::string formatTraceLine(const TraceRecord& r) {
    char head[160];
    std::snprintf(head, sizeof head,
                  "{\"seq\":%" PRIu64 ",\"device\":%d,\"set\":\"%s\",\"id\":%" PRIu32
                  ",\"flags\":%" PRIu32 ",\"node\":%" PRIu32 ",",
                  r.seq, r.device, guidToString(r.set).c_str(), r.id, r.flags, r.node);
    return std::string(head) + "\"out\":\"" + hex(r.out) + "\",\"in\":\"" + hex(r.in) +
           "\",\"hr\":" + std::to_string(r.hr) + "}";
}

JsonLinesTraceSink::JsonLinesTraceSink(const std::string& path)
    : file_(std::fopen(path.c_str(), "w")) {}

JsonLinesTraceSink::~JsonLinesTraceSink() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

void JsonLinesTraceSink::record(const TraceRecord& record) {
    if (file_ != nullptr) {
        std::fprintf(file_, "%s\n", formatTraceLine(record).c_str());
    }
}

std::unique_ptr<KsPlatform> makeTracingPlatform(KsPlatform& inner, TraceSink& sink) {
    return std::make_unique<TracingPlatform>(inner, sink);
}

}  // namespace brivane
