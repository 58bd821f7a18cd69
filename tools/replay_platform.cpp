#include "tools/replay_platform.h"

#include <fstream>
#include <nlohmann/json.hpp>

#include "camsim/wire.h"

namespace brivane::sim {
namespace {

bool parseHex(const std::string& text, std::vector<std::uint8_t>& bytes) {
    if (text.size() % 2 != 0 || text.size() > 2 * 4096) {
        return false;
    }
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        for (std::size_t k = i; k < i + 2; ++k) {
            const char c = text[k];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                     : -1;
            if (digit < 0) {
                return false;
            }
            value = value * 16 + static_cast<unsigned>(digit);
        }
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return true;
}

bool parseGuid(const std::string& text, Guid& g) {
    unsigned d1 = 0, d2 = 0, d3 = 0, d4[8] = {};
    int used = 0;
    if (text.size() != 36 ||
        std::sscanf(text.c_str(), "%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x%n", &d1, &d2, &d3, &d4[0],
                    &d4[1], &d4[2], &d4[3], &d4[4], &d4[5], &d4[6], &d4[7], &used) != 11 ||
        used != 36) {
        return false;
    }
    g.data1 = d1;
    g.data2 = static_cast<std::uint16_t>(d2);
    g.data3 = static_cast<std::uint16_t>(d3);
    for (int i = 0; i < 8; ++i) {
        g.data4[i] = static_cast<std::uint8_t>(d4[i]);
    }
    return guidToString(g) == text;
}

class ReplayControl : public KsControl {
public:
    ReplayControl(ReplayPlatform& p, int device) : platform_(p), device_(device) {}
    HResult ksProperty(const KspNode& property, std::uint8_t* data, std::uint32_t length) override {
        return platform_.answer(device_, property, data, length);
    }

private:
    ReplayPlatform& platform_;
    int device_;
};

class ReplayTopology : public KsTopology {
public:
    ReplayTopology(ReplayPlatform& p, int device) : platform_(p), device_(device) {}
    HResult nodeCount(std::uint32_t& count) override {
        count = platform_.nodeCount(device_);
        return hr::ok;
    }
    HResult nodeType(std::uint32_t node, Guid& type) override {
        // Only nodes the trace speaks to are extension units.
        type = platform_.hasNode(device_, node) ? camsim::wire::kNodeExtensionUnit
                                                : camsim::wire::kNodeCameraTerminal;
        return hr::ok;
    }
    HResult createNodeControl(std::uint32_t, std::unique_ptr<KsControl>& control) override {
        control = std::make_unique<ReplayControl>(platform_, device_);
        return hr::ok;
    }

private:
    ReplayPlatform& platform_;
    int device_;
};

class ReplayFilter : public KsFilter {
public:
    ReplayFilter(ReplayPlatform& p, int device)
        : platform_(p), device_(device), control_(p, device) {}
    HResult queryTopology(std::unique_ptr<KsTopology>& topology) override {
        topology = std::make_unique<ReplayTopology>(platform_, device_);
        return hr::ok;
    }
    HResult queryControl(KsControl*& control) override {
        control = &control_;
        return hr::ok;
    }

private:
    ReplayPlatform& platform_;
    int device_;
    ReplayControl control_;
};

class ReplayBag : public KsPropertyBag {
public:
    explicit ReplayBag(int device) : device_(device) {}
    HResult read(const std::string& name, std::string& value) override {
        if (name == "FriendlyName") {
            value = "Replayed device " + std::to_string(device_);
        } else if (name == "DevicePath") {
            value = "replay#" + std::to_string(device_);
        } else {
            return hr::invalidArg;
        }
        return hr::ok;
    }

private:
    int device_;
};

class ReplayDevice : public KsDevice {
public:
    ReplayDevice(ReplayPlatform& p, int device) : platform_(p), device_(device) {}
    HResult bindPropertyBag(std::unique_ptr<KsPropertyBag>& bag) override {
        bag = std::make_unique<ReplayBag>(device_);
        return hr::ok;
    }
    HResult bindFilter(std::unique_ptr<KsFilter>& filter) override {
        filter = std::make_unique<ReplayFilter>(platform_, device_);
        return hr::ok;
    }

private:
    ReplayPlatform& platform_;
    int device_;
};

class ReplayList : public KsDeviceList {
public:
    explicit ReplayList(ReplayPlatform& p) : platform_(p) {}
    void reset() override { next_ = 0; }
    HResult next(std::unique_ptr<KsDevice>& device) override {
        if (next_ >= platform_.deviceCount()) {
            return hr::falseResult;
        }
        device = std::make_unique<ReplayDevice>(platform_, next_++);
        return hr::ok;
    }

private:
    ReplayPlatform& platform_;
    int next_ = 0;
};

}  // namespace

std::optional<TraceRecord> parseTraceLine(const std::string& line) {
    const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        return std::nullopt;
    }
    const auto unsignedField = [&j](const char* name, std::uint64_t max, std::uint64_t& out) {
        const auto it = j.find(name);
        if (it == j.end() || !it->is_number_unsigned() || it->get<std::uint64_t>() > max) {
            return false;
        }
        out = it->get<std::uint64_t>();
        return true;
    };
    const auto stringField = [&j](const char* name, std::string& out) {
        const auto it = j.find(name);
        if (it == j.end() || !it->is_string()) {
            return false;
        }
        out = it->get<std::string>();
        return true;
    };
    TraceRecord r;
    std::uint64_t seq = 0, device = 0, id = 0, flags = 0, node = 0;
    std::string set, out, in;
    const auto hr = j.find("hr");
    if (!unsignedField("seq", UINT64_MAX, seq) || !unsignedField("device", 1000, device) ||
        !unsignedField("id", UINT32_MAX, id) || !unsignedField("flags", UINT32_MAX, flags) ||
        !unsignedField("node", UINT32_MAX, node) || !stringField("set", set) ||
        !stringField("out", out) || !stringField("in", in) || hr == j.end() ||
        !hr->is_number_integer() || hr->get<std::int64_t>() < INT32_MIN ||
        hr->get<std::int64_t>() > INT32_MAX || !parseGuid(set, r.set) || !parseHex(out, r.out) ||
        !parseHex(in, r.in)) {
        return std::nullopt;
    }
    r.seq = seq;
    r.device = static_cast<int>(device);
    r.id = static_cast<std::uint32_t>(id);
    r.flags = static_cast<std::uint32_t>(flags);
    r.node = static_cast<std::uint32_t>(node);
    r.hr = static_cast<HResult>(hr->get<std::int64_t>());
    return r;
}

bool readTrace(const std::string& path, std::vector<TraceRecord>& records, std::string& error) {
    std::ifstream file(path);
    if (!file) {
        error = "cannot read " + path;
        return false;
    }
    std::size_t number = 0;
    for (std::string line; std::getline(file, line);) {
        ++number;
        const auto record = parseTraceLine(line);
        if (!record) {
            error = path + ":" + std::to_string(number) + ": not a trace record";
            return false;
        }
        records.push_back(*record);
    }
    return true;
}

ReplayPlatform::ReplayPlatform(std::vector<TraceRecord> records) : records_(std::move(records)) {
    for (const TraceRecord& r : records_) {
        deviceCount_ = std::max(deviceCount_, r.device + 1);
    }
}

bool ReplayPlatform::hasNode(int device, std::uint32_t node) const {
    return std::any_of(records_.begin(), records_.end(),
                       [&](const TraceRecord& r) { return r.device == device && r.node == node; });
}

std::uint32_t ReplayPlatform::nodeCount(int device) const {
    std::uint32_t count = 1;
    for (const TraceRecord& r : records_) {
        if (r.device == device && r.node < 64) {
            count = std::max(count, r.node + 1);
        }
    }
    return count;
}

HResult ReplayPlatform::answer(int device, const KspNode& p, std::uint8_t* data,
                               std::uint32_t length) {
    if (divergence_) {
        return hr::fail;
    }
    const std::vector<std::uint8_t> sent(data, data + (data != nullptr ? length : 0));
    if (next_ >= records_.size()) {
        divergence_ = "request " + std::to_string(next_ + 1) + " goes past the end of the trace";
        return hr::fail;
    }
    const TraceRecord& r = records_[next_];
    if (r.device != device || r.set != p.set || r.id != p.id || r.flags != p.flags ||
        r.node != p.nodeId || r.out != sent || (!r.in.empty() && r.in.size() != length)) {
        TraceRecord asked = r;
        asked.device = device;
        asked.set = p.set;
        asked.id = p.id;
        asked.flags = p.flags;
        asked.node = p.nodeId;
        asked.out = sent;
        asked.in.clear();
        asked.hr = 0;
        divergence_ = "request " + std::to_string(next_ + 1) +
                      " differs from the trace:\n  trace " + formatTraceLine(r) + "\n  asked " +
                      formatTraceLine(asked);
        return hr::fail;
    }
    if (!r.in.empty()) {
        std::copy(r.in.begin(), r.in.end(), data);
    }
    ++next_;
    return r.hr;
}

HResult ReplayPlatform::videoInputDevices(std::unique_ptr<KsDeviceList>& list) {
    if (deviceCount_ == 0) {
        return hr::falseResult;
    }
    list = std::make_unique<ReplayList>(*this);
    return hr::ok;
}

}  // namespace brivane::sim
