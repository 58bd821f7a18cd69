#include "com_camera.h"

// clang-format off
#include <objbase.h>
#include <strmif.h>
#include <uuids.h>
#include <ks.h>
#include <ksproxy.h>
// clang-format on

#include <atomic>
#include <cstring>
#include <optional>

#include "camsim/wire.h"
#include "transport/win32/ks_topology_info.h"
#include "transport/xu.h"

#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace brivane::testing {
namespace {

struct Machine {
    std::vector<ComDevice> devices;
    camsim::EmulatedCamera* camera = nullptr;
    std::atomic<int> filtersAlive{0};
    std::atomic<int> requests{0};
};

Machine* machine = nullptr;

// Reference counting and QueryInterface for one interface besides IUnknown.
template <typename I>
class Object : public I {
public:
    virtual ~Object() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == interfaceId()) {
            *out = static_cast<I*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --refs_;
        if (n == 0) {
            delete this;
        }
        return n;
    }

protected:
    virtual REFIID interfaceId() const = 0;

private:
    std::atomic<ULONG> refs_{1};
};

constexpr std::uint32_t kXuNode = 2;

class KsControlObject : public Object<IKsControl> {
public:
    explicit KsControlObject(std::optional<ULONG> node) : node_(node) {}
    REFIID interfaceId() const override { return IID_IKsControl; }
    HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY property, ULONG length, LPVOID data,
                                         ULONG dataLength, ULONG* returned) override {
        ++machine->requests;
        if (length != sizeof(KSP_NODE)) {
            return E_INVALIDARG;
        }
        KspNode p;
        std::memcpy(&p, property, sizeof p);
        if (returned != nullptr) {
            *returned = 0;
        }
        if ((node_ && p.nodeId != *node_) || p.nodeId != kXuNode ||
            p.set != brivane::camsim::wire::kPropertySet) {
            return static_cast<HRESULT>(0x80070492);  // ERROR_SET_NOT_FOUND
        }
        return machine->camera->handle(p.id, p.flags, static_cast<std::uint8_t*>(data), dataLength);
    }
    HRESULT STDMETHODCALLTYPE KsMethod(PKSMETHOD, ULONG, LPVOID, ULONG, ULONG*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE KsEvent(PKSEVENT, ULONG, LPVOID, ULONG, ULONG*) override {
        return E_NOTIMPL;
    }

private:
    std::optional<ULONG> node_;
};

GUID toGuid(const brivane::Guid& g) {
    GUID out;
    static_assert(sizeof out == sizeof g);
    std::memcpy(&out, &g, sizeof out);
    return out;
}

// Camera terminal, processing unit, the extension unit.
const GUID kNodeTypes[] = {
    toGuid(brivane::camsim::wire::kNodeCameraTerminal),
    toGuid(brivane::camsim::wire::kNodeProcessing),
    toGuid(brivane::camsim::wire::kNodeExtensionUnit),
};

class TopologyObject : public Object<IKsTopologyInfo> {
public:
    REFIID interfaceId() const override { return kIidKsTopologyInfo; }
    HRESULT STDMETHODCALLTYPE get_NumCategories(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Category(DWORD, GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_NumConnections(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ConnectionInfo(DWORD, KsTopologyConnection*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_NodeName(DWORD, WCHAR*, DWORD, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_NumNodes(DWORD* count) override {
        *count = 3;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_NodeType(DWORD node, GUID* type) override {
        if (node >= 3) {
            return E_INVALIDARG;
        }
        *type = kNodeTypes[node];
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateNodeInstance(DWORD node, REFIID iid, void** out) override {
        if (node >= 3 || iid != IID_IKsControl) {
            return E_NOINTERFACE;
        }
        *out = static_cast<IKsControl*>(new KsControlObject(node));
        return S_OK;
    }
};

class FilterObject : public Object<IBaseFilter> {
public:
    explicit FilterObject(bool camera) : camera_(camera) { ++machine->filtersAlive; }
    ~FilterObject() override { --machine->filtersAlive; }
    REFIID interfaceId() const override { return IID_IBaseFilter; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (camera_ && iid == kIidKsTopologyInfo) {
            *out = static_cast<IKsTopologyInfo*>(new TopologyObject);
            return S_OK;
        }
        if (camera_ && iid == IID_IKsControl) {
            *out = static_cast<IKsControl*>(new KsControlObject(std::nullopt));
            return S_OK;
        }
        return Object<IBaseFilter>::QueryInterface(iid, out);
    }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stop() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Pause() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR, IPin**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph*, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

private:
    bool camera_;
};

class PropertyBagObject : public Object<IPropertyBag> {
public:
    explicit PropertyBagObject(const ComDevice& device) : device_(device) {}
    REFIID interfaceId() const override { return IID_IPropertyBag; }
    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
        const std::wstring key(name);
        const std::wstring* text = key == L"FriendlyName" ? &device_.friendlyName
                                   : key == L"DevicePath" ? &device_.devicePath
                                                          : nullptr;
        if (text == nullptr || text->empty() || V_VT(value) != VT_BSTR) {
            return E_FAIL;
        }
        V_BSTR(value) = SysAllocString(text->c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

private:
    ComDevice device_;
};

class MonikerObject : public Object<IMoniker> {
public:
    explicit MonikerObject(const ComDevice& device) : device_(device) {}
    REFIID interfaceId() const override { return IID_IMoniker; }
    HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx*, IMoniker*, REFIID iid, void** out) override {
        if (iid != IID_IPropertyBag) {
            return E_NOINTERFACE;
        }
        *out = static_cast<IPropertyBag*>(new PropertyBagObject(device_));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx*, IMoniker*, REFIID iid, void** out) override {
        if (iid != IID_IBaseFilter) {
            return E_NOINTERFACE;
        }
        *out = static_cast<IBaseFilter*>(new FilterObject(device_.camera));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(IStream*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save(IStream*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reduce(IBindCtx*, DWORD, IMoniker**, IMoniker**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ComposeWith(IMoniker*, BOOL, IMoniker**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Enum(BOOL, IEnumMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsEqual(IMoniker*) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Hash(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsRunning(IBindCtx*, IMoniker*, IMoniker*) override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Inverse(IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CommonPrefixWith(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RelativePathTo(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG*,
                                               IMoniker**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE IsSystemMoniker(DWORD*) override { return S_FALSE; }

private:
    ComDevice device_;
};

class EnumMonikerObject : public Object<IEnumMoniker> {
public:
    REFIID interfaceId() const override { return IID_IEnumMoniker; }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, IMoniker** out, ULONG* fetched) override {
        if (count != 1 || next_ >= machine->devices.size()) {
            if (fetched != nullptr) {
                *fetched = 0;
            }
            return S_FALSE;
        }
        *out = new MonikerObject(machine->devices[next_++]);
        if (fetched != nullptr) {
            *fetched = 1;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG n) override {
        next_ += n;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        next_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumMoniker**) override { return E_NOTIMPL; }

private:
    std::size_t next_ = 0;
};

class DevEnumObject : public Object<ICreateDevEnum> {
public:
    REFIID interfaceId() const override { return IID_ICreateDevEnum; }
    HRESULT STDMETHODCALLTYPE CreateClassEnumerator(REFCLSID category, IEnumMoniker** out,
                                                    DWORD) override {
        *out = nullptr;
        if (category != CLSID_VideoInputDeviceCategory || machine->devices.empty()) {
            return S_FALSE;  // as the real one: no device, no enumerator
        }
        *out = new EnumMonikerObject;
        return S_OK;
    }
};

class FactoryObject : public Object<IClassFactory> {
public:
    REFIID interfaceId() const override { return IID_IClassFactory; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* e = new DevEnumObject;
        const HRESULT r = e->QueryInterface(iid, out);
        e->Release();
        return r;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

class FilterFactoryObject : public Object<IClassFactory> {
public:
    REFIID interfaceId() const override { return IID_IClassFactory; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* filter = new FilterObject(true);
        const HRESULT r = filter->QueryInterface(iid, out);
        filter->Release();
        return r;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace

IClassFactory* newCameraFilterFactory(camsim::EmulatedCamera* camera) {
    if (machine == nullptr) {
        machine = new Machine;
        machine->camera = camera;
    }
    return new FilterFactoryObject;
}

ComCameraMachine::ComCameraMachine(std::vector<ComDevice> devices, camsim::EmulatedCamera* camera) {
    machine = new Machine;
    machine->devices = std::move(devices);
    machine->camera = camera;
    CoInitialize(nullptr);
    auto* factory = new FactoryObject;
    factory_ = factory;
    CoRegisterClassObject(CLSID_SystemDeviceEnum, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                          &cookie_);
}

ComCameraMachine::~ComCameraMachine() {
    CoRevokeClassObject(cookie_);
    factory_->Release();
    CoUninitialize();
    delete machine;
    machine = nullptr;
}

int ComCameraMachine::filtersAlive() const {
    return machine->filtersAlive;
}
int ComCameraMachine::propertyRequests() const {
    return machine->requests;
}

}  // namespace brivane::testing
