// brivane-usbip: the emulated camera as a USB device over USB/IP, so that the kernel's own
// uvcvideo driver sits between an updater and the camera. Either it listens for `usbip attach`
// (--listen), or it hands one end of a socket pair to vhci-hcd itself (--vhci-port). The trace
// it writes is the camera's side: one line per request the extension unit received.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "brivane_version.h"
#include "camsim/wire.h"
#include "tools/sim_options.h"
#include "transport/trace.h"
#include "usbip/usbip_session.h"

namespace {

using namespace brivane;

volatile sig_atomic_t stopRequested = 0;

bool sendAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Serves one connection until the peer goes, misbehaves, or the device is unplugged. The
// emulator's faults count the extension unit's requests: a failing one stalls, an unplug ends
// the connection as a pulled cable would.
void serve(int fd, usbip::UvcDevice& device, bool imported, const camsim::PlatformFaults& faults) {
    usbip::UsbipSession session(device, imported);
    device.beforeXuRequest = [&session, &faults](std::uint64_t n) -> std::optional<HResult> {
        if (faults.latencyUs != 0) {
            ::usleep(faults.latencyUs);
        }
        if (faults.unplugFrom != 0 && n >= faults.unplugFrom) {
            session.unplug();
            return hr::notConnected;
        }
        if (n == faults.failRequest) {
            return hr::genFailure;
        }
        return std::nullopt;
    };
    std::uint8_t buffer[65536];
    std::vector<std::uint8_t> out;
    while (!stopRequested) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            std::fprintf(stderr, "brivane-usbip: the peer closed the connection\n");
            break;
        }
        out.clear();
        const bool ok = session.receive(buffer, static_cast<std::size_t>(n), out);
        if (!out.empty() && !sendAll(fd, out)) {
            std::fprintf(stderr, "brivane-usbip: cannot send to the peer\n");
            break;
        }
        if (!ok) {
            std::fprintf(stderr, "brivane-usbip: connection ended: %s\n", session.error().c_str());
            break;
        }
    }
    device.beforeXuRequest = nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"brivane-usbip: the emulated camera as a USB device over USB/IP."};
    app.get_formatter()->column_width(34);
    app.set_version_flag("--version", std::string("brivane-usbip ") + kVersion);
    sim::SimOptions options;
    sim::EmulationOptionText text;
    sim::addEmulationOptions(app, options, text);
    std::optional<std::string> listen;
    std::optional<unsigned> vhciPort;
    bool webcam = false;
    app.add_option("--trace", options.traceFile,
                   "write the requests the extension unit receives to FILE (JSON Lines)");
    app.add_option("--dump-flash", options.dumpFlashFile, "write the flash to FILE at the end");
    app.add_option("--listen", listen, "serve usbip attach on [ADDR:]PORT (default 127.0.0.1)");
    app.add_option("--vhci-port", vhciPort,
                   "attach to the local vhci-hcd on this port through a socket pair");
    app.add_flag("--webcam", webcam, "a plain webcam whose extension unit is another vendor's");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    if (const auto status = sim::finishEmulationOptions(text, options)) {
        return *status;
    }
    if (listen.has_value() == vhciPort.has_value()) {
        std::fprintf(stderr, "brivane-usbip: give one of --listen and --vhci-port\n");
        return 2;
    }

    auto camera = webcam ? nullptr : std::make_shared<camsim::EmulatedCamera>(options.camera);
    usbip::UvcDevice device(camera, webcam ? 0x0C46 : 0x0C45);
    std::unique_ptr<JsonLinesTraceSink> trace;
    if (options.traceFile) {
        trace = std::make_unique<JsonLinesTraceSink>(*options.traceFile);
        if (!trace->isOpen()) {
            std::fprintf(stderr, "--trace: cannot write %s\n", options.traceFile->c_str());
            return 2;
        }
    }
    std::uint64_t seq = 0;
    device.onXuRequest = [&](const usbip::XuRequest& x) {
        if (!trace) {
            return;
        }
        TraceRecord r;
        r.seq = ++seq;
        r.set = camsim::wire::kPropertySet;
        r.id = x.selector;
        r.flags =
            camsim::wire::kFlagTopology | (x.set ? camsim::wire::kFlagSet : camsim::wire::kFlagGet);
        r.node = usbip::UvcDevice::kXuUnitId;
        r.out = x.sent;
        r.in = x.reply;
        r.hr = x.result;
        trace->record(r);
    };

    struct sigaction action {};
    action.sa_handler = [](int) { stopRequested = 1; };
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    const camsim::PlatformFaults faults = options.platformFaults;
    int status = 0;
    if (vhciPort) {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) {
            std::perror("brivane-usbip: socketpair");
            return 1;
        }
        // vhci-hcd takes the socket by its number in this process: "port sockfd devid speed".
        const std::string attach = std::to_string(*vhciPort) + " " + std::to_string(pair[1]) + " " +
                                   std::to_string((1u << 16) | (2 + *vhciPort)) + " 3";
        std::ofstream file("/sys/devices/platform/vhci_hcd.0/attach");
        file << attach;
        file.close();
        if (!file) {
            std::fprintf(stderr, "brivane-usbip: cannot attach to vhci-hcd port %u\n", *vhciPort);
            return 1;
        }
        ::close(pair[1]);
        std::printf("brivane-usbip: attached to vhci-hcd port %u\n", *vhciPort);
        std::fflush(stdout);
        serve(pair[0], device, true, faults);
        ::close(pair[0]);
    } else {
        std::string address = "127.0.0.1";
        std::string port = *listen;
        if (const auto colon = port.rfind(':'); colon != std::string::npos) {
            address = port.substr(0, colon);
            port = port.substr(colon + 1);
        }
        const int server = ::socket(AF_INET, SOCK_STREAM, 0);
        int yes = 1;
        ::setsockopt(server, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_port = htons(static_cast<std::uint16_t>(std::stoul(port)));
        if (::inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1 ||
            ::bind(server, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
            ::listen(server, 1) != 0) {
            std::fprintf(stderr, "brivane-usbip: cannot listen on %s:%s\n", address.c_str(),
                         port.c_str());
            return 1;
        }
        std::printf("brivane-usbip: serving bus id %s on %s:%s\n", usbip::kBusId, address.c_str(),
                    port.c_str());
        std::fflush(stdout);
        while (!stopRequested) {
            const int client = ::accept(server, nullptr, nullptr);
            if (client < 0) {
                continue;
            }
            serve(client, device, false, faults);
            ::close(client);
        }
        ::close(server);
    }
    trace.reset();
    if (camera && options.dumpFlashFile) {
        const auto& flash = camera->flash().memory();
        std::FILE* f = std::fopen(options.dumpFlashFile->c_str(), "wb");
        if (f == nullptr || std::fwrite(flash.data(), 1, flash.size(), f) != flash.size() ||
            std::fclose(f) != 0) {
            std::fprintf(stderr, "--dump-flash: cannot write %s\n", options.dumpFlashFile->c_str());
            status = 1;
        }
    }
    return status;
}
