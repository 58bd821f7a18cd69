// The operating-system operations the camera transport relies on, in the form it needs them.
// Implementations: Win32 (COM, DirectShow, kernel streaming), Linux (V4L2 uvcvideo) and the
// emulated camera's simulated platform. Results are HRESULT-style on every platform so that
// "exactly S_OK" and "success (non-negative)" stay distinct.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace brivane {

using HResult = std::int32_t;

namespace hr {
inline constexpr HResult ok = 0;                                   // S_OK
inline constexpr HResult falseResult = 1;                          // S_FALSE: success, but not S_OK
inline constexpr HResult fail = static_cast<HResult>(0x80004005);  // E_FAIL
inline constexpr HResult noInterface = static_cast<HResult>(0x80004002);  // E_NOINTERFACE
inline constexpr HResult setNotFound = static_cast<HResult>(0x80070492);  // property set
inline constexpr HResult notFound = static_cast<HResult>(0x80070490);     // property id
inline constexpr HResult genFailure = static_cast<HResult>(0x8007001F);   // device stall
inline constexpr HResult insufficientBuffer = static_cast<HResult>(0x8007007A);
inline constexpr HResult notConnected = static_cast<HResult>(0x8007048F);  // unplugged
inline constexpr HResult moreData = static_cast<HResult>(0x800700EA);
inline constexpr HResult accessDenied = static_cast<HResult>(0x80070005);
inline constexpr HResult invalidArg = static_cast<HResult>(0x80070057);
}  // namespace hr

inline constexpr bool succeeded(HResult r) {
    return r >= 0;
}

// A GUID as Windows lays it out in memory (first three fields little-endian on the wire).
struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];

    friend bool operator==(const Guid&, const Guid&) = default;
};
static_assert(sizeof(Guid) == 16);

std::string guidToString(const Guid& g);  // lower case, "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx"

// KSPROPERTY followed by NodeId and Reserved: the 32-byte property part of a node request.
struct KspNode {
    Guid set;
    std::uint32_t id;
    std::uint32_t flags;
    std::uint32_t nodeId;
    std::uint32_t reserved;
};
static_assert(sizeof(KspNode) == 32);

namespace ksflags {
inline constexpr std::uint32_t get = 0x1;
inline constexpr std::uint32_t set = 0x2;
inline constexpr std::uint32_t setSupport = 0x100;
inline constexpr std::uint32_t basicSupport = 0x200;
inline constexpr std::uint32_t topology = 0x10000000;
}  // namespace ksflags

// Node types of a UVC camera's topology nodes: camera terminal, processing unit, and the
// vendor-specific extension unit {941C7AC0-C559-11D0-8A2B-00A0C9255AC1}.
inline constexpr Guid kNodeTypeCameraTerminal = {
    0x941C7AC0, 0xC559, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC0}};
inline constexpr Guid kNodeTypeProcessing = {
    0xDFF229E5, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
inline constexpr Guid kNodeTypeDevSpecific = {
    0x941C7AC0, 0xC559, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};

// A control through which property requests reach a filter or one of its nodes (IKsControl).
class KsControl {
public:
    virtual ~KsControl() = default;
    // data may be null with length 0. For a GET the camera fills data.
    virtual HResult ksProperty(const KspNode& property, std::uint8_t* data,
                               std::uint32_t length) = 0;
};

// The topology of a capture filter (IKsTopologyInfo).
class KsTopology {
public:
    virtual ~KsTopology() = default;
    virtual HResult nodeCount(std::uint32_t& count) = 0;
    virtual HResult nodeType(std::uint32_t node, Guid& type) = 0;
    virtual HResult createNodeControl(std::uint32_t node, std::unique_ptr<KsControl>& control) = 0;
};

// A bound capture filter.
class KsFilter {
public:
    virtual ~KsFilter() = default;
    virtual HResult queryTopology(std::unique_ptr<KsTopology>& topology) = 0;
    // The filter's own control (QueryInterface for IKsControl). The filter keeps it: it stays
    // valid until the next queryControl or until the filter goes.
    virtual HResult queryControl(KsControl*& control) = 0;
};

// A device's property bag. Values are returned in the platform's narrow code page.
class KsPropertyBag {
public:
    virtual ~KsPropertyBag() = default;
    virtual HResult read(const std::string& name, std::string& value) = 0;
};

// One video-capture device (a moniker).
class KsDevice {
public:
    virtual ~KsDevice() = default;
    virtual HResult bindPropertyBag(std::unique_ptr<KsPropertyBag>& bag) = 0;
    virtual HResult bindFilter(std::unique_ptr<KsFilter>& filter) = 0;
};

// The video-capture devices, one at a time (a moniker enumerator).
class KsDeviceList {
public:
    virtual ~KsDeviceList() = default;
    virtual void reset() = 0;
    // S_OK while a device was delivered.
    virtual HResult next(std::unique_ptr<KsDevice>& device) = 0;
};

class KsPlatform {
public:
    virtual ~KsPlatform() = default;
    virtual HResult initialize() = 0;  // CoInitialize on the calling thread
    virtual void uninitialize() = 0;   // CoUninitialize
    // The device enumerator's list of the video-input category; anything but S_OK means there is
    // no list (S_FALSE when no video-capture device exists).
    virtual HResult videoInputDevices(std::unique_ptr<KsDeviceList>& list) = 0;
};

}  // namespace brivane
