// libFuzzer target: the USB/IP session on any bytes a peer could send, before and after import.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "usbip/usbip_session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static auto camera =
        std::make_shared<brivane::camsim::EmulatedCamera>(brivane::camsim::shippedCamera());
    brivane::usbip::UvcDevice device(camera, 0x0C45);
    for (const bool imported : {false, true}) {
        brivane::usbip::UsbipSession session(device, imported);
        std::vector<std::uint8_t> out;
        // In two pieces, as a socket may deliver them.
        const std::size_t half = size / 2;
        if (session.receive(data, half, out)) {
            session.receive(data + half, size - half, out);
        }
    }
    return 0;
}
