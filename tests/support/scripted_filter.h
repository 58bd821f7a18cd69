// A bound filter whose every property request is answered by a function: for replies no real
// camera would give.
#pragma once

#include <functional>
#include <memory>

#include "transport/ks_platform.h"

namespace brivane::testing {

using Responder = std::function<HResult(const KspNode&, std::uint8_t*, std::uint32_t)>;

class ScriptedFilter : public KsFilter {
public:
    explicit ScriptedFilter(Responder respond) : control_(std::move(respond)) {}
    HResult queryTopology(std::unique_ptr<KsTopology>&) override { return hr::noInterface; }
    HResult queryControl(KsControl*& control) override {
        control = &control_;
        return hr::ok;
    }

private:
    struct Control : KsControl {
        explicit Control(Responder r) : respond(std::move(r)) {}
        HResult ksProperty(const KspNode& p, std::uint8_t* d, std::uint32_t n) override {
            return respond(p, d, n);
        }
        Responder respond;
    };
    Control control_;
};

}  // namespace brivane::testing
