#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include <cstring>
#include <future>
#include <thread>

#include "app/app_rig.h"
#include "app/camera_hold.h"
#include "app/messages.h"
#include "support/trace_query.h"

namespace brivane::testing {
namespace {

using camsim::FlashPart;
using camsim::SimDeviceKind;

// Runs the whole application once: dialog, animation and worker threads, waits scaled down.
struct AppRun {
    explicit AppRun(camsim::CameraConfig config,
                    std::vector<SimDeviceKind> devices = {SimDeviceKind::camera},
                    camsim::PlatformFaults faults = {}, int row = 18,
                    std::uint8_t configByte = 0x51)
        : rig(std::move(config), std::move(devices), faults), images(row, configByte) {}

    std::string run(double scale = 0.002) {
        HeadlessHost h(images.directory(), nullptr, false);
        ScaledClock clock(scale);
        UpdateApp app(h, clock, animationFirst([&h] { return !h.itemText(kStatusBoxId).empty(); }));
        EXPECT_FALSE(app.InitInstance());
        calls = h.calls();
        return resultOf(h);
    }

    std::vector<std::string> statusLines() const {
        std::vector<std::string> lines;
        for (const HostCall& c : calls) {
            if (c.kind == HostCall::Kind::setText && c.id == kStatusBoxId) {
                lines.push_back(c.text);
            }
        }
        return lines;
    }
    const camsim::FlashImage& flash() const { return rig.camera->flash().memory(); }

    SimRig rig;
    ImageFolder images;
    std::vector<HostCall> calls;
};

bool headerBlank(const camsim::FlashImage& flash) {
    return std::all_of(flash.begin(), flash.begin() + 16, [](std::uint8_t b) { return b == 0xFF; });
}

TEST(Outcomes, ACompleteRunWritesTheImageAndRestoresTheProtection) {
    AppRun r(cameraFor({}));
    EXPECT_EQ(r.run(), text::success);
    EXPECT_EQ(r.flash(), imageFor(18, camsim::kFirstProductId, 0x51));
    EXPECT_TRUE(r.rig.camera->flash().writeProtectAsserted()) << "GPIO restored";
    EXPECT_EQ(r.rig.camera->reg(0x5F8), 0x34);
    EXPECT_EQ(r.rig.camera->counters().postUpdateWrites, 1u);
    EXPECT_EQ(r.rig.platform.stats().uninitializeCalls, 1) << "camera closed";
}

TEST(Outcomes, TheSecondSupportedIdTakesItsOwnImage) {
    Scenario s;
    s.firmwareId = camsim::kSecondProductId;
    AppRun r(cameraFor(s));
    EXPECT_EQ(r.run(), text::success);
    EXPECT_EQ(r.flash(), imageFor(18, camsim::kSecondProductId, 0x51));
}

TEST(Outcomes, NoCameraNeverOpensOrCloses) {
    for (const auto& devices : {std::vector<SimDeviceKind>{}, {SimDeviceKind::webcam}}) {
        AppRun r(cameraFor({}), devices);
        EXPECT_EQ(r.run(), text::noDevice);
        EXPECT_EQ(r.rig.platform.stats().uninitializeCalls, 0) << "no close issued";
        for (const std::string& line : r.statusLines()) {
            EXPECT_EQ(line.find(text::processing), std::string::npos);
        }
    }
}

TEST(Outcomes, ACameraInUseIsRefusedUntouched) {
    struct Case {
        std::uint8_t value;
        bool refused;
    };
    for (const Case c : {Case{0x03, true}, Case{0x07, true}, Case{0xFF, true}, Case{0x01, false},
                         Case{0x02, false}}) {
        SCOPED_TRACE(int(c.value));
        auto config = cameraFor({});
        config.inUse = c.value;
        AppRun r(config);
        EXPECT_EQ(r.run(), c.refused ? text::deviceInUse : text::success);
        if (c.refused) {
            EXPECT_EQ(r.flash(), config.firmware);
        }
        EXPECT_EQ(r.rig.platform.stats().uninitializeCalls, 1);
    }
}

// Fails the first request of a clean run that `match` picks.
std::uint64_t requestOfCleanRun(const camsim::CameraConfig& config,
                                const std::function<bool(const TraceRecord&)>& match) {
    AppRun probe(config);
    EXPECT_EQ(probe.run(0), text::success);
    return seqOf(probe.rig.trace.records, match);
}

TEST(Outcomes, AnInUseReadThatFailsCountsAsNotInUse) {
    auto config = cameraFor({});
    config.inUse = 0x03;
    const auto failing = requestOfCleanRun(
        cameraFor({}), [](const TraceRecord& r) { return isRegisterReadOf(r, 0x1061); });
    AppRun r(config, {SimDeviceKind::camera}, {.failRequest = failing});
    EXPECT_EQ(r.run(), text::success);
}

TEST(Outcomes, AnIdReadThatFailsChecksNothingFurther) {
    const auto failing = requestOfCleanRun(cameraFor({}), [](const TraceRecord& r) {
        return r.id == selector::memory && !r.out.empty() && r.out[0] == 0x06 && r.out[1] == 0xC0;
    });
    AppRun r(cameraFor({}), {SimDeviceKind::camera}, {.failRequest = failing});
    EXPECT_EQ(r.run(), text::checkDeviceFail);
    EXPECT_EQ(r.flash(), cameraFor({}).firmware);
}

TEST(Outcomes, AForeignIdIsLeftAlone) {
    Scenario s;
    s.firmwareId = {0x00, 0x00, 0x00, 0x00};
    AppRun r(cameraFor(s));
    EXPECT_EQ(r.run(), text::noUpdateNeeded);
    EXPECT_EQ(r.flash(), cameraFor(s).firmware);
}

TEST(Outcomes, IdBytesCompareExactly) {
    // 0x5A is the letter Z: a case-folding compare would take 7A 3C 07 F2 for the second id.
    Scenario s;
    s.firmwareId = {0x7A, 0x3C, 0x07, 0xF2};
    AppRun r(cameraFor(s));
    EXPECT_EQ(r.run(), text::noUpdateNeeded);
    EXPECT_EQ(r.flash(), cameraFor(s).firmware);
}

TEST(Outcomes, AnImageFileThatIsMissingOrTheWrongSizeChangesNothing) {
    const std::vector<std::uint8_t> bytes(0x10001, 0x00);
    // No file at all, then files of the wrong size.
    for (const std::optional<std::size_t> size :
         {std::optional<std::size_t>{}, std::optional<std::size_t>{0},
          std::optional<std::size_t>{100}, std::optional<std::size_t>{0xFFFF},
          std::optional<std::size_t>{0x10001}}) {
        SCOPED_TRACE(size ? std::to_string(*size) : "missing");
        AppRun r(cameraFor({}));
        if (size) {
            r.images.write("CAMERA_2E7B91D4.bin", bytes.data(), *size);
        } else {
            r.images.remove("CAMERA_2E7B91D4.bin");
        }
        EXPECT_EQ(r.run(), text::loadFail);
        EXPECT_EQ(r.flash(), cameraFor({}).firmware);
        EXPECT_TRUE(r.rig.camera->flash().writeProtectAsserted());
        EXPECT_EQ(r.rig.platform.stats().uninitializeCalls, 1);
    }
}

#ifndef _WIN32
// Reading a FIFO without a writer would wait forever with the dialog disabled; a directory, a
// device or a socket holds no image either. Each is refused at once, before anything changes.
TEST(Outcomes, AnImagePathThatIsNotARegularFileIsRefusedAtOnce) {
    const std::vector<std::pair<const char*, std::function<void(const std::string&)>>> kinds = {
        {"fifo", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }},
        {"directory", [](const std::string& p) { std::filesystem::create_directory(p); }},
        {"device", [](const std::string& p) { std::filesystem::create_symlink("/dev/zero", p); }},
        {"socket",
         [](const std::string& p) {
             const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             ASSERT_LT(p.size(), sizeof address.sun_path);
             std::strcpy(address.sun_path, p.c_str());
             ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
             ::close(fd);
         }},
    };
    for (const auto& [name, make] : kinds) {
        SCOPED_TRACE(name);
        AppRun r(cameraFor({}));
        r.images.remove("CAMERA_2E7B91D4.bin");
        make(r.images.directory() + "CAMERA_2E7B91D4.bin");
        EXPECT_EQ(r.run(), text::loadFail);
        EXPECT_EQ(r.flash(), cameraFor({}).firmware);
        EXPECT_TRUE(r.rig.camera->flash().writeProtectAsserted());
    }
}
#endif

// A second updater started on the same camera: the one that finds the camera held refuses it
// before any change, with the in-use message, and closes it; once the hold is gone a run goes on.
TEST(Outcomes, ACameraHeldByAnotherRunIsRefusedUntouched) {
    AppRun r(cameraFor({}));
    ASSERT_GT(CamOpen(), 0);
    const std::string path = CamDevicePath();
    CamClose();
    ASSERT_FALSE(path.empty());
    // Held on another thread for as long as the other run lasts, as another process would
    // hold it (a Windows mutex is re-entrant, and abandoned when its thread ends).
    std::promise<bool> held;
    std::promise<void> done;
    std::thread other([&] {
        CameraHold hold;
        held.set_value(hold.acquire(path));
        done.get_future().wait();
    });
    EXPECT_TRUE(held.get_future().get());
    const std::uint64_t before = r.rig.platform.stats().propertyRequests;
    EXPECT_EQ(r.run(), text::deviceInUse);
    EXPECT_EQ(r.flash(), cameraFor({}).firmware);
    EXPECT_EQ(r.rig.platform.stats().uninitializeCalls, 2);
    const std::uint64_t refusedRun = r.rig.platform.stats().propertyRequests - before;

    done.set_value();
    other.join();
    EXPECT_EQ(r.run(), text::success);
    // The refused run made no request past the camera search.
    EXPECT_EQ(refusedRun, before);
}

TEST(Outcomes, AFailedEraseIsReportedAsSuchWithTheProtectionLifted) {
    auto config = cameraFor({.row = 2});
    config.faults.eraseRefused = true;
    AppRun r(config, {SimDeviceKind::camera}, {}, 2);
    EXPECT_EQ(r.run(), text::eraseFail);
    EXPECT_FALSE(r.rig.camera->flash().writeProtectAsserted());
    EXPECT_EQ(r.rig.camera->flash().statusRegister() & 0x8C, 0);
}

TEST(Outcomes, TheBlankCheckCatchesTheLastByte) {
    auto config = cameraFor({});
    config.faults.corruptReads.push_back({0xFFFF, 1});
    AppRun r(config);
    EXPECT_EQ(r.run(), text::updateFailed);
    EXPECT_TRUE(std::all_of(r.flash().begin(), r.flash().end(), [](auto b) { return b == 0xFF; }))
        << "nothing written";
}

TEST(Outcomes, ABodyThatDoesNotVerifyNeverGetsItsHeader) {
    for (const bool badCell : {true, false}) {
        SCOPED_TRACE(badCell ? "cell that cannot be programmed" : "corrupt read-back");
        auto config = cameraFor({});
        if (badCell) {
            config.faults.badCells.push_back(0x8000);
        } else {
            config.faults.corruptReads.push_back({0x0010, 2});  // the blank check reads it first
        }
        AppRun r(config);
        EXPECT_EQ(r.run(), text::updateFailed);
        EXPECT_TRUE(headerBlank(r.flash()));
        EXPECT_FALSE(r.rig.camera->flash().writeProtectAsserted()) << "no restore after failure";
    }
}

TEST(Outcomes, AHeaderThatDoesNotVerifyFailsTheRun) {
    auto config = cameraFor({});
    config.faults.corruptReads.push_back({0x0003, 2});
    AppRun r(config);
    EXPECT_EQ(r.run(), text::updateFailed);
    EXPECT_FALSE(r.rig.camera->flash().writeProtectAsserted());
    EXPECT_EQ(r.rig.camera->counters().postUpdateWrites, 0u);
}

TEST(Outcomes, AFailedInfoReadFailsTheLiftBeforeAnyChange) {
    auto config = cameraFor({});
    config.faults.infoFails = true;
    AppRun r(config);
    EXPECT_EQ(r.run(), text::updateFailed);
    EXPECT_EQ(r.flash(), config.firmware);
    EXPECT_TRUE(r.rig.camera->flash().writeProtectAsserted());
}

TEST(EndSequence, ResultInTheStatusBoxThenTheBoxThenTheHintThenTheEnd) {
    AppRun r(cameraFor({}));
    const double scale = 0.01;
    ASSERT_EQ(r.run(scale), text::success);
    using Kind = HostCall::Kind;
    std::vector<std::string> tail;
    for (const HostCall& c : r.calls) {
        if (c.kind == Kind::enable) {
            tail.push_back(c.id ? "enable" : "disable");
        } else if (c.kind == Kind::messageBox) {
            tail.push_back("box " + c.text);
        } else if (c.kind == Kind::endDialog) {
            tail.push_back("end");
        } else if (c.id == kHintLabelId) {
            tail.push_back("hint " + c.text);
        } else if (c.text == text::success) {
            tail.push_back("status " + c.text);
        }
    }
    EXPECT_EQ(tail,
              (std::vector<std::string>{
                  "disable", "enable", "status Update FW success !!", "box Update FW success !!",
                  "hint The process will auto close after 3 seconds.", "end"}));
    // No animation line after the result, and the end 3000 ms (scaled) after the box.
    EXPECT_EQ(r.statusLines().back(), text::success);
    const auto box = std::find_if(r.calls.begin(), r.calls.end(),
                                  [](const HostCall& c) { return c.kind == Kind::messageBox; });
    EXPECT_GE(r.calls.back().at - box->at, std::chrono::milliseconds(30));
}

TEST(StatusLine, AnimatesThePhaseWordWithoutResettingTheDots) {
    AppRun r(cameraFor({}), {SimDeviceKind::camera}, {.latencyUs = 20});
    ASSERT_EQ(r.run(0.01), text::success);
    const auto lines = r.statusLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "Initializing    ");
    const std::vector<std::string> suffixes = {"    ", " .  ", " .. ", " ..."};
    bool processing = false;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        const std::string word = lines[i].substr(0, lines[i].size() - 4);
        ASSERT_TRUE(word == text::initializing || word == text::processing) << lines[i];
        EXPECT_FALSE(processing && word == text::initializing) << "phase words only go forward";
        processing = processing || word == text::processing;
        EXPECT_EQ(lines[i].substr(lines[i].size() - 4), suffixes[i % 4]) << "line " << i;
    }
    EXPECT_TRUE(processing);
}

}  // namespace
}  // namespace brivane::testing
