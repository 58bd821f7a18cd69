// The USB/IP server without a kernel: the operations before import, URB framing, each request
// kind the driver sends, unlinking, and malformed or hostile input ending the connection. The
// descriptors are read back with the Linux platform's own parser.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "camsim/wire.h"
#include "support/sim_rig.h"
#include "transport/linux/uvc_descriptors.h"
#include "usbip/usbip_session.h"

namespace brivane::usbip {
namespace {

void put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        v.push_back(static_cast<std::uint8_t>(x >> shift));
    }
}

std::uint32_t get32(const std::vector<std::uint8_t>& v, std::size_t at) {
    return static_cast<std::uint32_t>(v[at]) << 24 | static_cast<std::uint32_t>(v[at + 1]) << 16 |
           static_cast<std::uint32_t>(v[at + 2]) << 8 | v[at + 3];
}

struct Submit {
    std::uint32_t seqnum = 1;
    std::uint32_t direction = 1;
    std::uint32_t ep = 0;
    std::uint32_t length = 0;
    std::uint32_t packets = 0;
    std::array<std::uint8_t, 8> setup{};
    std::vector<std::uint8_t> data;
};

std::vector<std::uint8_t> submit(const Submit& s) {
    std::vector<std::uint8_t> v;
    put32(v, kCmdSubmit);
    put32(v, s.seqnum);
    put32(v, 0x10002);
    put32(v, s.direction);
    put32(v, s.ep);
    put32(v, 0);
    put32(v, s.length);
    put32(v, 0);
    put32(v, s.packets);
    put32(v, 0);
    v.insert(v.end(), s.setup.begin(), s.setup.end());
    v.insert(v.end(), s.data.begin(), s.data.end());
    return v;
}

// A control transfer: the setup packet and, for OUT, its data.
Submit control(std::uint8_t type, std::uint8_t request, std::uint16_t value, std::uint16_t index,
               std::uint16_t length, std::vector<std::uint8_t> data = {}, std::uint32_t seq = 1) {
    Submit s;
    s.seqnum = seq;
    s.direction = (type & 0x80) ? 1 : 0;
    s.length = length;
    s.setup = {type,
               request,
               static_cast<std::uint8_t>(value),
               static_cast<std::uint8_t>(value >> 8),
               static_cast<std::uint8_t>(index),
               static_cast<std::uint8_t>(index >> 8),
               static_cast<std::uint8_t>(length),
               static_cast<std::uint8_t>(length >> 8)};
    s.data = std::move(data);
    return s;
}

struct Reply {
    std::uint32_t command = 0;
    std::uint32_t seqnum = 0;
    std::int32_t status = 0;
    std::vector<std::uint8_t> data;
};

class Served : public ::testing::Test {
protected:
    std::shared_ptr<camsim::EmulatedCamera> camera_ =
        std::make_shared<camsim::EmulatedCamera>(testing::defaultCamera());
    UvcDevice device_{camera_, 0x0C45};
    UsbipSession session_{device_, true};

    // Sends a request, in one piece or byte by byte; the reply, parsed.
    Reply send(const std::vector<std::uint8_t>& bytes, bool byteByByte = false) {
        std::vector<std::uint8_t> out;
        if (byteByByte) {
            for (std::uint8_t b : bytes) {
                EXPECT_TRUE(session_.receive(&b, 1, out)) << session_.error();
            }
        } else {
            EXPECT_TRUE(session_.receive(bytes.data(), bytes.size(), out)) << session_.error();
        }
        Reply r;
        if (out.size() < kHeaderSize) {
            return r;
        }
        r.command = get32(out, 0);
        r.seqnum = get32(out, 4);
        r.status = static_cast<std::int32_t>(get32(out, 20));
        r.data.assign(out.begin() + kHeaderSize, out.end());
        return r;
    }
    Reply xu(std::uint8_t request, std::uint8_t selector, std::uint16_t length,
             std::vector<std::uint8_t> data = {}) {
        const std::uint8_t type = request & 0x80 ? 0xA1 : 0x21;
        return send(submit(control(type, request, static_cast<std::uint16_t>(selector << 8),
                                   UvcDevice::kXuUnitId << 8, length, std::move(data))));
    }
};

TEST_F(Served, DescriptorsDescribeAUvcCameraWithTheExtensionUnit) {
    const Reply device = send(submit(control(0x80, 6, 0x0100, 0, 18)));
    ASSERT_EQ(device.status, 0);
    ASSERT_EQ(device.data.size(), 18u);
    EXPECT_EQ(device.data[8] | device.data[9] << 8, 0x1D6B);
    const Reply head = send(submit(control(0x80, 6, 0x0200, 0, 9)));
    ASSERT_EQ(head.data.size(), 9u);
    const std::uint16_t total = static_cast<std::uint16_t>(head.data[2] | head.data[3] << 8);
    const Reply config = send(submit(control(0x80, 6, 0x0200, 0, 0xFFFF)), true);
    ASSERT_EQ(config.data.size(), total);
    // The Linux platform's parser finds the unit and its five controls.
    std::vector<std::uint8_t> all = device.data;
    all.insert(all.end(), config.data.begin(), config.data.end());
    const auto interfaces = uvc::parseVideoControl(all);
    ASSERT_EQ(interfaces.size(), 1u);
    const auto& units = interfaces[0].units;
    const auto xu = std::find_if(units.begin(), units.end(), [](const uvc::Unit& u) {
        return u.subtype == uvc::kExtensionUnit;
    });
    ASSERT_NE(xu, units.end());
    EXPECT_EQ(xu->id, UvcDevice::kXuUnitId);
    for (unsigned selector = 1; selector <= 6; ++selector) {
        EXPECT_EQ(uvc::hasControl(*xu, selector), selector <= 5) << selector;
    }
}

TEST_F(Served, TheExtensionUnitsControlsReachTheCamera) {
    const std::uint8_t lengths[] = {4, 8, 12, 12, 12};
    for (std::uint8_t selector = 1; selector <= 5; ++selector) {
        EXPECT_EQ(xu(0x85, selector, 2).data,
                  (std::vector<std::uint8_t>{lengths[selector - 1], 0}));
        EXPECT_EQ(xu(0x86, selector, 1).data, (std::vector<std::uint8_t>{0x03}));
    }
    // A register write, then its read: marker SET, then GET.
    EXPECT_EQ(xu(0x01, 1, 4, {0x00, 0x40, 0x5A, 0x00}).status, 0);
    EXPECT_EQ(xu(0x01, 1, 4, {0x00, 0x40, 0x00, 0xFF}).status, 0);
    const Reply read = xu(0x81, 1, 4);
    ASSERT_EQ(read.data.size(), 4u);
    EXPECT_EQ(read.data[2], 0x5A);
    // What the camera refuses, and what no camera has, stall.
    EXPECT_EQ(xu(0x01, 1, 4, {0x00, 0x40, 0x5A, 0x07}).status, kEpipe);
    EXPECT_EQ(xu(0x81, 6, 4).status, kEpipe);
    EXPECT_EQ(xu(0x81, 1, 8).status, kEpipe) << "the wrong length";
    EXPECT_EQ(send(submit(control(0x80, 6, 0x0F00, 0, 5))).status, kEpipe) << "no BOS";
}

TEST_F(Served, HeldUrbsComeBackOnlyWhenUnlinked) {
    Submit status;
    status.seqnum = 7;
    status.ep = 1;
    status.length = 16;
    std::vector<std::uint8_t> out;
    const auto bytes = submit(status);
    ASSERT_TRUE(session_.receive(bytes.data(), bytes.size(), out));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(session_.heldUrbs(), 1u);
    for (const auto& [victim, expected] : {std::pair{7u, kEconnreset}, std::pair{7u, 0}}) {
        std::vector<std::uint8_t> unlink;
        put32(unlink, kCmdUnlink);
        put32(unlink, 9);
        put32(unlink, 0x10002);
        put32(unlink, 0);
        put32(unlink, 1);
        put32(unlink, victim);
        unlink.insert(unlink.end(), 24, 0);
        const Reply r = send(unlink);
        EXPECT_EQ(r.command, kRetUnlink);
        EXPECT_EQ(r.seqnum, 9u);
        EXPECT_EQ(r.status, expected);
    }
    EXPECT_EQ(session_.heldUrbs(), 0u);
}

TEST_F(Served, AnUnpluggedDeviceEndsTheConnection) {
    session_.unplug();
    const auto bytes = submit(control(0x80, 6, 0x0100, 0, 18));
    std::vector<std::uint8_t> out;
    EXPECT_FALSE(session_.receive(bytes.data(), bytes.size(), out));
    EXPECT_TRUE(out.empty());
}

TEST(UsbipOperations, TheDeviceListThenTheImport) {
    UvcDevice device(std::make_shared<camsim::EmulatedCamera>(testing::defaultCamera()), 0x0C45);
    UsbipSession session(device, false);
    std::vector<std::uint8_t> out;
    const std::vector<std::uint8_t> list = {0x01, 0x11, 0x80, 0x05, 0, 0, 0, 0};
    ASSERT_TRUE(session.receive(list.data(), list.size(), out));
    ASSERT_EQ(out.size(), 12u + 312 + 8);
    EXPECT_EQ(get32(out, 8), 1u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&out[12 + 256])), kBusId);
    for (const char* busId : {"9-9", kBusId}) {
        std::vector<std::uint8_t> import = {0x01, 0x11, 0x80, 0x03, 0, 0, 0, 0};
        std::vector<std::uint8_t> id(32, 0);
        std::copy(busId, busId + std::strlen(busId), id.begin());
        import.insert(import.end(), id.begin(), id.end());
        out.clear();
        ASSERT_TRUE(session.receive(import.data(), import.size(), out));
        EXPECT_EQ(get32(out, 4), std::string(busId) == kBusId ? 0u : 1u);
    }
    EXPECT_EQ(out.size(), 8u + 312);
    // Now in URB mode.
    const auto bytes = submit(control(0x80, 6, 0x0100, 0, 18));
    out.clear();
    ASSERT_TRUE(session.receive(bytes.data(), bytes.size(), out));
    EXPECT_EQ(get32(out, 0), kRetSubmit);
}

TEST(UsbipMalformed, AHostilePeerEndsItsOwnConnection) {
    const auto header = [](std::function<void(Submit&)> change) {
        Submit s = control(0x80, 6, 0x0100, 0, 18);
        change(s);
        return submit(s);
    };
    struct Case {
        const char* name;
        bool imported;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<std::uint8_t> unknown = header([](Submit&) {});
    unknown[3] = 9;
    const Case cases[] = {
        {"old protocol version", false, {0x01, 0x06, 0x80, 0x05, 0, 0, 0, 0}},
        {"unknown operation", false, {0x01, 0x11, 0x80, 0x99, 0, 0, 0, 0}},
        {"unknown command", true, unknown},
        {"direction 2", true, header([](Submit& s) { s.direction = 2; })},
        {"endpoint 16", true, header([](Submit& s) { s.ep = 16; })},
        {"huge transfer", true, header([](Submit& s) { s.length = 0x7FFFFFFF; })},
        {"isochronous", true, header([](Submit& s) { s.packets = 3; })},
        {"setup asks more than the header", true, header([](Submit& s) { s.length = 4; })},
        {"setup direction disagrees", true, header([](Submit& s) {
             s.direction = 0;
             s.data.assign(18, 0);
         })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UvcDevice device(std::make_shared<camsim::EmulatedCamera>(testing::defaultCamera()), 1);
        UsbipSession session(device, c.imported);
        std::vector<std::uint8_t> out;
        EXPECT_FALSE(session.receive(c.bytes.data(), c.bytes.size(), out));
        EXPECT_FALSE(session.error().empty());
    }
}

}  // namespace
}  // namespace brivane::usbip
