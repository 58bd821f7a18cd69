#include "transport/win32/win32_platform.h"

#include <windows.h>
// clang-format off
#include <objbase.h>
#include <strmif.h>
#include <uuids.h>
#include <ks.h>
#include <ksproxy.h>
// clang-format on

#include <cstring>

#include "transport/win32/com_ptr.h"
#include "transport/win32/ks_topology_info.h"

namespace brivane {
namespace {

static_assert(sizeof(KSP_NODE) == sizeof(KspNode), "KSP_NODE is 32 bytes");

// A BSTR that frees itself.
class Variant {
public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() { return &v_; }

private:
    VARIANT v_;
};

// The text in the ANSI code page, at most 259 characters, as a 260-byte buffer holds it.
std::string toAnsi(const wchar_t* wide) {
    char buffer[260] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, buffer, sizeof buffer, nullptr, nullptr);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

class ComControl : public KsControl {
public:
    explicit ComControl(ComPtr<IKsControl> control) : control_(std::move(control)) {}
    HResult ksProperty(const KspNode& property, std::uint8_t* data, std::uint32_t length) override {
        KSP_NODE node;
        std::memcpy(&node, &property, sizeof node);
        ULONG returned = 0;
        return control_->KsProperty(&node.Property, sizeof node, data, length, &returned);
    }

private:
    ComPtr<IKsControl> control_;
};

class ComTopology : public KsTopology {
public:
    explicit ComTopology(ComPtr<IKsTopologyInfo> info) : info_(std::move(info)) {}
    HResult nodeCount(std::uint32_t& count) override {
        DWORD n = 0;
        const HRESULT r = info_->get_NumNodes(&n);
        count = n;
        return r;
    }
    HResult nodeType(std::uint32_t node, Guid& type) override {
        GUID g{};
        const HRESULT r = info_->get_NodeType(node, &g);
        std::memcpy(&type, &g, sizeof type);
        return r;
    }
    HResult createNodeControl(std::uint32_t node, std::unique_ptr<KsControl>& control) override {
        ComPtr<IKsControl> c;
        const HRESULT r = info_->CreateNodeInstance(node, IID_IKsControl, c.putVoid());
        if (SUCCEEDED(r) && c) {
            control = std::make_unique<ComControl>(std::move(c));
        }
        return r;
    }

private:
    ComPtr<IKsTopologyInfo> info_;
};

class ComFilter : public KsFilter {
public:
    explicit ComFilter(ComPtr<IBaseFilter> filter) : filter_(std::move(filter)) {}
    HResult queryTopology(std::unique_ptr<KsTopology>& topology) override {
        ComPtr<IKsTopologyInfo> info;
        const HRESULT r = filter_->QueryInterface(kIidKsTopologyInfo, info.putVoid());
        if (r == S_OK && info) {
            topology = std::make_unique<ComTopology>(std::move(info));
        }
        return r;
    }
    HResult queryControl(KsControl*& control) override {
        // Asked for anew for every request; the previous one is released here.
        ComPtr<IKsControl> c;
        const HRESULT r = filter_->QueryInterface(IID_IKsControl, c.putVoid());
        control_.reset();
        if (r == S_OK && c) {
            control_ = std::make_unique<ComControl>(std::move(c));
            control = control_.get();
        }
        return r;
    }

private:
    ComPtr<IBaseFilter> filter_;
    std::unique_ptr<ComControl> control_;
};

class ComPropertyBag : public KsPropertyBag {
public:
    explicit ComPropertyBag(ComPtr<IPropertyBag> bag) : bag_(std::move(bag)) {}
    HResult read(const std::string& name, std::string& value) override {
        Variant v;
        V_VT(v.get()) = VT_BSTR;
        const std::wstring wide(name.begin(), name.end());
        const HRESULT r = bag_->Read(wide.c_str(), v.get(), nullptr);
        if (r == S_OK && V_VT(v.get()) == VT_BSTR && V_BSTR(v.get()) != nullptr) {
            value = toAnsi(V_BSTR(v.get()));
        }
        return r;
    }

private:
    ComPtr<IPropertyBag> bag_;
};

class ComDevice : public KsDevice {
public:
    explicit ComDevice(ComPtr<IMoniker> moniker) : moniker_(std::move(moniker)) {}
    HResult bindPropertyBag(std::unique_ptr<KsPropertyBag>& bag) override {
        ComPtr<IPropertyBag> b;
        const HRESULT r = moniker_->BindToStorage(nullptr, nullptr, IID_IPropertyBag, b.putVoid());
        if (SUCCEEDED(r) && b) {
            bag = std::make_unique<ComPropertyBag>(std::move(b));
        }
        return r;
    }
    HResult bindFilter(std::unique_ptr<KsFilter>& filter) override {
        ComPtr<IBaseFilter> f;
        const HRESULT r = moniker_->BindToObject(nullptr, nullptr, IID_IBaseFilter, f.putVoid());
        if (r == S_OK && f) {
            filter = std::make_unique<ComFilter>(std::move(f));
        }
        return r;
    }

private:
    ComPtr<IMoniker> moniker_;
};

class ComDeviceList : public KsDeviceList {
public:
    explicit ComDeviceList(ComPtr<IEnumMoniker> monikers) : monikers_(std::move(monikers)) {}
    void reset() override { monikers_->Reset(); }
    HResult next(std::unique_ptr<KsDevice>& device) override {
        ComPtr<IMoniker> moniker;
        const HRESULT r = monikers_->Next(1, moniker.put(), nullptr);
        if (r == S_OK && moniker) {
            device = std::make_unique<ComDevice>(std::move(moniker));
        }
        return r;
    }

private:
    ComPtr<IEnumMoniker> monikers_;
};

}  // namespace

HResult Win32Platform::initialize() {
    return CoInitialize(nullptr);
}

void Win32Platform::uninitialize() {
    CoUninitialize();
}

HResult Win32Platform::videoInputDevices(std::unique_ptr<KsDeviceList>& list) {
    ComPtr<ICreateDevEnum> deviceEnumerator;
    HRESULT r = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_ICreateDevEnum, deviceEnumerator.putVoid());
    if (FAILED(r) || !deviceEnumerator) {
        return FAILED(r) ? r : E_FAIL;
    }
    ComPtr<IEnumMoniker> monikers;
    r = deviceEnumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.put(), 0);
    if (r != S_OK || !monikers) {
        return r == S_OK ? E_FAIL : r;  // S_FALSE: no video-capture device
    }
    list = std::make_unique<ComDeviceList>(std::move(monikers));
    return S_OK;
}

}  // namespace brivane
