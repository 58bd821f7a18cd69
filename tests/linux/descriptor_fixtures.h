// USB descriptors of real cameras' VideoControl interfaces, as lsusb prints them, turned into
// raw bytes inside a whole configuration; and the camera's own extension unit added to make a
// Brivane camera.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace brivane::testing {

using Bytes = std::vector<std::uint8_t>;

// A GUID's text as Windows keeps it in memory (first three fields little-endian).
inline Bytes guidBytes(const char* text) {
    unsigned a = 0, b = 0, c = 0, d[8] = {};
    std::sscanf(text, "%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x", &a, &b, &c, &d[0], &d[1], &d[2],
                &d[3], &d[4], &d[5], &d[6], &d[7]);
    Bytes g = {std::uint8_t(a), std::uint8_t(a >> 8), std::uint8_t(a >> 16), std::uint8_t(a >> 24),
               std::uint8_t(b), std::uint8_t(b >> 8), std::uint8_t(c),       std::uint8_t(c >> 8)};
    for (unsigned x : d) {
        g.push_back(std::uint8_t(x));
    }
    return g;
}

inline Bytes extensionUnit(std::uint8_t id, const char* guid, std::uint8_t numControls,
                           std::uint8_t source, const Bytes& bmControls, std::uint8_t iExtension) {
    Bytes u = {std::uint8_t(24 + 1 + bmControls.size()), 0x24, 0x06, id};
    const Bytes g = guidBytes(guid);
    u.insert(u.end(), g.begin(), g.end());
    u.push_back(numControls);
    u.push_back(1);  // bNrInPins
    u.push_back(source);
    u.push_back(std::uint8_t(bmControls.size()));
    u.insert(u.end(), bmControls.begin(), bmControls.end());
    u.push_back(iExtension);
    return u;
}

// Camera A: two extension units (the first with no controls at all).
inline Bytes cameraAUnits() {
    Bytes u = extensionUnit(11, "45b5da73-23c1-4a3d-a368-610f078c4397", 0, 9, {}, 0);
    const Bytes second =
        extensionUnit(10, "1229a78c-47b4-4094-b0ce-db07386fb938", 2, 11, {0x00, 0x06}, 0);
    u.insert(u.end(), second.begin(), second.end());
    return u;
}

// Camera B: a laptop camera's unit, whose bNumControls disagrees with its bmControls.
inline Bytes cameraBUnits() {
    return extensionUnit(13, "26b8105a-0713-4870-979d-da79444bb68e", 3, 10,
                         {0x00, 0xE0, 0x00, 0x00}, 10);
}

// The Brivane camera's own unit: id 4, controls 1 to 5.
inline Bytes brivaneUnit() {
    return extensionUnit(4, "7d41c2a8-3e95-4b6f-a0d7-1f82c6e4593b", 5, 2, {0x1F}, 0);
}

// Device descriptor, then one configuration: interface association, the VideoControl
// interface (header, camera terminal, processing unit, `units`, output terminal, interrupt
// endpoint), then a VideoStreaming interface with a format descriptor.
inline Bytes usbDevice(const Bytes& units, std::uint8_t vcInterface = 0) {
    Bytes d = {0x12, 0x01, 0x00, 0x02, 0xEF, 0x02, 0x01, 0x40, 0x6B,
               0x1D, 0x45, 0x0C, 0x00, 0x01, 0x01, 0x02, 0x00, 0x01};
    Bytes config = {0x09, 0x02, 0x00, 0x00, 0x02, 0x01, 0x00, 0x80, 0xFA};
    const Bytes iad = {0x08, 0x0B, vcInterface, 0x02, 0x0E, 0x03, 0x00, 0x02};
    const Bytes vc = {0x09, 0x04, vcInterface, 0x00, 0x01, 0x0E, 0x01, 0x00, 0x02};
    const Bytes header = {0x0D,
                          0x24,
                          0x01,
                          0x10,
                          0x01,
                          0x00,
                          0x00,
                          0x80,
                          0x8D,
                          0x5B,
                          0x00,
                          0x01,
                          std::uint8_t(vcInterface + 1)};
    const Bytes camera = {0x12, 0x24, 0x02, 0x01, 0x01, 0x02, 0x00, 0x00, 0x00,
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x0E, 0x00, 0x00};
    const Bytes processing = {0x0B, 0x24, 0x05, 0x02, 0x01, 0x00, 0x40, 0x02, 0x5B, 0x17, 0x00};
    const Bytes output = {0x09, 0x24, 0x03, 0x03, 0x01, 0x01, 0x00, 0x04, 0x00};
    const Bytes endpoint = {0x07, 0x05, 0x83, 0x03, 0x10, 0x00, 0x06, 0x05, 0x25, 0x03, 0x10, 0x00};
    const Bytes vs = {0x09, 0x04, std::uint8_t(vcInterface + 1), 0x00, 0x00, 0x0E, 0x02,
                      0x00, 0x00};
    // VS_FORMAT_UNCOMPRESSED shares its subtype (4) with a selector unit: not a unit.
    const Bytes format = {0x1B, 0x24, 0x04, 0x01, 0x01, 0x59, 0x55, 0x59, 0x32,
                          0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00,
                          0x38, 0x9B, 0x71, 0x10, 0x01, 0x00, 0x00, 0x00, 0x00};
    for (const Bytes* part :
         {&iad, &vc, &header, &camera, &processing, &units, &output, &endpoint, &vs, &format}) {
        config.insert(config.end(), part->begin(), part->end());
    }
    config[2] = std::uint8_t(config.size());
    config[3] = std::uint8_t(config.size() >> 8);
    d.insert(d.end(), config.begin(), config.end());
    return d;
}

}  // namespace brivane::testing
