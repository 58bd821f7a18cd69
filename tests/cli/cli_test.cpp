// brivanectl's commands against the emulated camera, in process: each command's main path, the
// refusals that must come before anything on the camera changes, recovery of an interrupted
// camera, and an update with a failure injected all along the run that must end with either the
// new image or the original flash, and say which.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/app_rig.h"
#include "app/messages.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"

namespace brivane::testing {
namespace {

using cli::GlobalOptions;
using cli::Output;
using cli::Session;
using cli::WriteOptions;

std::string slurp(std::FILE* f) {
    std::string text;
    std::rewind(f);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) {
        text.append(buffer, n);
    }
    std::fclose(f);
    return text;
}

GlobalOptions emulated(std::vector<std::string> args = {}) {
    GlobalOptions g;
    g.emulated = true;
    args.insert(args.begin(), "brivane-sim");
    std::vector<const char*> argv;
    for (const auto& a : args) {
        argv.push_back(a.c_str());
    }
    EXPECT_FALSE(sim::parseSimOptions(static_cast<int>(argv.size()), argv.data(), g.sim));
    // Test programs run side by side: each emulates a camera of its own.
    char instance[24];
    std::snprintf(instance, sizeof instance, "t%d", static_cast<int>(::getpid()));
    g.sim.instance = instance;
    return g;
}

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
    std::uint64_t requests = 0;
    camsim::FlashImage flash{};
    nlohmann::json json() const { return nlohmann::json::parse(out); }
};

CliRun run(const GlobalOptions& g, const std::function<int(Session&, Output&)>& command) {
    XuResetState();
    CamResetState();
    CliRun r;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    {
        Output o(g.json, out, err);
        Session session(g);
        EXPECT_TRUE(session.start(o));
        r.status = command(session, o);
        o.finish();
        r.requests = session.requests();
        r.flash = session.emulatedCamera()->flash().memory();
    }
    r.out = slurp(out);
    r.err = slurp(err);
    CamResetState();
    return r;
}

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& data) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        backups_ = images_.directory() + "backups/";
        std::filesystem::create_directories(backups_);
        write_.imageDir = images_.directory();
        write_.progress = false;
    }
    WriteOptions writeTo(const std::string& backupName) const {
        WriteOptions w = write_;
        w.backup = backups_ + backupName;
        return w;
    }
    const camsim::FlashImage original_ = cameraFor({}).firmware;
    const camsim::FlashImage image_ = imageFor(18, camsim::kFirstProductId, 0x51);
    ImageFolder images_{18, 0x51};
    std::string backups_;
    WriteOptions write_;
};

TEST_F(Cli, UpdateBacksUpThenWritesTheImage) {
    const CliRun r = run(emulated(), [&](Session& s, Output& o) {
        return cli::runUpdate(s, o, writeTo("before.bin"));
    });
    EXPECT_EQ(r.status, cli::kExitDone);
    EXPECT_EQ(r.out, std::string(text::success) + "\n");
    EXPECT_EQ(r.flash, image_);
    const auto backup = readFile(backups_ + "before.bin");
    EXPECT_TRUE(std::equal(backup.begin(), backup.end(), original_.begin(), original_.end()));
    const auto sidecar = nlohmann::json::parse(readFile(backups_ + "before.bin.json"));
    EXPECT_EQ(sidecar["firmwareId"], "2e7b91d4");
    EXPECT_EQ(sidecar["chip"]["row"], 18);
    EXPECT_EQ(sidecar["flash"]["part"], "Macronix MX25L512");
    EXPECT_EQ(sidecar["size"], 65536);
    EXPECT_EQ(sidecar["sha256"].get<std::string>().size(), 64u);
}

TEST_F(Cli, ListInfoBackupAndVerifyReadWithoutChanging) {
    const GlobalOptions g = [] {
        auto o = emulated({"--devices", "webcam,camera"});
        o.json = true;
        return o;
    }();
    const CliRun list = run(g, cli::runList);
    EXPECT_EQ(list.status, cli::kExitDone);
    const auto devices = list.json()["devices"];
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0]["camera"], false);
    EXPECT_EQ(devices[1]["camera"], true);
    EXPECT_EQ(devices[1]["firmwareId"], "2e7b91d4");
    EXPECT_EQ(devices[1]["imageFile"], "CAMERA_2E7B91D4.bin");
    EXPECT_EQ(devices[1]["inUse"], false);
    EXPECT_EQ(devices[1]["interruptedUpdate"], false);

    const CliRun info = run(g, cli::runInfo);
    EXPECT_EQ(info.status, cli::kExitDone);
    EXPECT_EQ(info.json()["chip"]["name"], "OPAL");
    EXPECT_EQ(info.json()["configByte"], 0x51);
    EXPECT_TRUE(info.json()["protection"]["statusRegister"].is_number());

    const std::string file = backups_ + "flash.bin";
    const CliRun backup =
        run(g, [&](Session& s, Output& o) { return cli::runBackup(s, o, file, false); });
    EXPECT_EQ(backup.status, cli::kExitDone);
    const auto saved = readFile(file);
    EXPECT_TRUE(std::equal(saved.begin(), saved.end(), original_.begin(), original_.end()));
    // An existing backup is kept.
    const CliRun again =
        run(g, [&](Session& s, Output& o) { return cli::runBackup(s, o, file, false); });
    EXPECT_EQ(again.status, cli::kExitFailed);

    const CliRun same = run(g, [&](Session& s, Output& o) { return cli::runVerify(s, o, file); });
    EXPECT_EQ(same.status, cli::kExitDone);
    EXPECT_EQ(same.json()["equal"], true);
    auto changed = saved;
    changed[0x1234] ^= 0x40;
    changed[0x8000] ^= 0x01;
    writeFile(file, changed);
    const CliRun differs =
        run(g, [&](Session& s, Output& o) { return cli::runVerify(s, o, file); });
    EXPECT_EQ(differs.status, cli::kExitFailed);
    EXPECT_EQ(differs.json()["firstDifference"], 0x1234);
    EXPECT_EQ(differs.json()["differingBytes"], 2);

    for (const CliRun* r : {&list, &info, &backup, &same, &differs}) {
        EXPECT_EQ(r->flash, original_);
    }
}

TEST_F(Cli, BadImageFilesAreRefusedBeforeAnyRequest) {
    std::vector<std::uint8_t> foreign(image_.begin(), image_.end());
    foreign[0xC006] = 0x00;
    writeFile(backups_ + "foreign.bin", foreign);
    writeFile(backups_ + "short.bin", std::vector<std::uint8_t>(65535, 0xFF));
    writeFile(backups_ + "long.bin", std::vector<std::uint8_t>(65537, 0xFF));
    for (const char* name : {"foreign.bin", "short.bin", "long.bin", "missing.bin", ""}) {
        SCOPED_TRACE(name);
        WriteOptions w = writeTo("unused.bin");
        w.image = backups_ + name;
        const CliRun r =
            run(emulated(), [&](Session& s, Output& o) { return cli::runUpdate(s, o, w); });
        EXPECT_EQ(r.status, cli::kExitUsage);
        EXPECT_EQ(r.requests, 0u);
        EXPECT_EQ(r.flash, original_);
        EXPECT_FALSE(std::filesystem::exists(backups_ + "unused.bin"));
    }
    // A foreign image is written when the user insists.
    WriteOptions w = writeTo("forced.bin");
    w.image = backups_ + "foreign.bin";
    w.force = true;
    const CliRun forced =
        run(emulated(), [&](Session& s, Output& o) { return cli::runUpdate(s, o, w); });
    EXPECT_EQ(forced.status, cli::kExitDone);
    EXPECT_TRUE(std::equal(foreign.begin(), foreign.end(), forced.flash.begin()));
    EXPECT_NE(forced.err.find("warning"), std::string::npos);
}

TEST_F(Cli, TwoCamerasNeedADeviceChoice) {
    auto g = emulated({"--devices", "camera,webcam,camera"});
    const CliRun refused =
        run(g, [&](Session& s, Output& o) { return cli::runUpdate(s, o, writeTo("no.bin")); });
    EXPECT_EQ(refused.status, cli::kExitManyCameras);
    EXPECT_EQ(refused.flash, original_);
    const CliRun list = run(
        [&] {
            auto j = g;
            j.json = true;
            return j;
        }(),
        cli::runList);
    for (const int camera : {0, 2}) {
        EXPECT_NE(refused.err.find(list.json()["devices"][camera]["path"].get<std::string>()),
                  std::string::npos)
            << refused.err;
    }
    EXPECT_EQ(refused.err.find(list.json()["devices"][1]["path"].get<std::string>()),
              std::string::npos);
    g.device = list.json()["devices"][2]["path"].get<std::string>();
    const CliRun chosen =
        run(g, [&](Session& s, Output& o) { return cli::runUpdate(s, o, writeTo("yes.bin")); });
    EXPECT_EQ(chosen.status, cli::kExitDone);
    EXPECT_EQ(chosen.flash, image_);
}

TEST_F(Cli, OutcomesMapToTheirExitStatus) {
    struct Case {
        const char* name;
        std::vector<std::string> camera;
        int status;
    };
    const Case cases[] = {
        {"no camera", {"--devices", "webcam"}, cli::kExitNoCamera},
        {"in use", {"--in-use", "3"}, cli::kExitInUse},
        {"foreign firmware", {"--firmware-id", "00000000"}, cli::kExitFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const GlobalOptions g = emulated(c.camera);
        const CliRun r = run(g, [&](Session& s, Output& o) {
            return cli::runUpdate(s, o, writeTo(std::string(c.name) + ".bin"));
        });
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.flash, g.sim.camera.firmware);
    }
}

// A camera whose update stopped between the erase and the header: all of the header and, here,
// the id bytes read 0xFF.
TEST_F(Cli, AnInterruptedCameraIsShownAndRecovered) {
    camsim::FlashImage interrupted = image_;
    std::fill(interrupted.begin(), interrupted.begin() + 0xD000, 0xFF);
    const std::string flashFile = backups_ + "interrupted.flash";
    writeFile(flashFile, {interrupted.begin(), interrupted.end()});
    auto g = emulated({"--flash-file", flashFile});
    g.json = true;
    EXPECT_EQ(run(g, cli::runList).json()["devices"][0]["interruptedUpdate"], true);
    EXPECT_EQ(run(g, cli::runInfo).json()["interruptedUpdate"], true);

    // The id bytes choose no image: the plain update cannot finish it ...
    const CliRun plain =
        run(g, [&](Session& s, Output& o) { return cli::runUpdate(s, o, writeTo("a.bin")); });
    EXPECT_EQ(plain.json()["result"], text::noUpdateNeeded);
    // ... an update with the image, or a restore, can.
    WriteOptions w = writeTo("b.bin");
    w.image = images_.directory() + "CAMERA_2E7B91D4.bin";
    const CliRun withImage = run(g, [&](Session& s, Output& o) { return cli::runUpdate(s, o, w); });
    EXPECT_EQ(withImage.status, cli::kExitDone) << withImage.out << withImage.err;
    EXPECT_EQ(withImage.flash, image_);
    w.backup = backups_ + "c.bin";
    const CliRun restored = run(g, [&](Session& s, Output& o) { return cli::runRestore(s, o, w); });
    EXPECT_EQ(restored.status, cli::kExitDone);
    EXPECT_EQ(restored.flash, image_);
}

// One failing request anywhere in an update: the flash ends as the new image (success) or as it
// was (rolled back and verified, or never touched), and the last line says which.
TEST_F(Cli, AFailureAnywhereLeavesTheImageOrTheOriginal) {
    const CliRun clean = run(
        emulated(), [&](Session& s, Output& o) { return cli::runUpdate(s, o, writeTo("c.bin")); });
    ASSERT_EQ(clean.status, cli::kExitDone);
    std::vector<std::uint64_t> picks;
    for (std::uint64_t n = 1; n <= clean.requests; ++n) {
        // Every request near both ends (the small steps), an even sample of the large middle.
        if (n <= 200 || n + 200 > clean.requests || n % 997 == 0) {
            picks.push_back(n);
        }
    }
    int rolledBack = 0;
    for (const std::uint64_t n : picks) {
        const CliRun r =
            run(emulated({"--fault", "fail:" + std::to_string(n)}), [&](Session& s, Output& o) {
                return cli::runUpdate(s, o, writeTo("sweep-" + std::to_string(n) + ".bin"));
            });
        SCOPED_TRACE(::testing::Message() << "request " << n << ": " << r.out);
        if (r.status == cli::kExitDone) {
            EXPECT_EQ(r.flash, image_);
            EXPECT_EQ(r.out, std::string(text::success) + "\n");
            continue;
        }
        EXPECT_EQ(r.flash, original_);
        const bool said = r.out.find("restored and verified") != std::string::npos ||
                          r.out.find("were not changed") != std::string::npos ||
                          r.out.find("still holds the previous firmware") != std::string::npos ||
                          r.out.find("nothing was changed") != std::string::npos ||
                          r.out == std::string(text::noDevice) + "\n" ||
                          r.out == std::string(text::checkDeviceFail) + "\n";
        EXPECT_TRUE(said);
        rolledBack += r.out.find("restored and verified") != std::string::npos;
    }
    EXPECT_GT(rolledBack, 0);
}

TEST_F(Cli, ProgressClimbsToExactlyOneHundredAtTheEnd) {
    std::FILE* lines = std::tmpfile();
    WriteOptions w = writeTo("p.bin");
    w.progress = true;
    w.progressOut = lines;
    const CliRun r =
        run(emulated(), [&](Session& s, Output& o) { return cli::runUpdate(s, o, w); });
    ASSERT_EQ(r.status, cli::kExitDone);
    const std::string text = slurp(lines);
    std::vector<int> percents;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        percents.push_back(std::stoi(line));
    }
    ASSERT_GT(percents.size(), 10u) << text;
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end())) << text;
    EXPECT_EQ(percents.back(), 100);
    EXPECT_EQ(std::count(percents.begin(), percents.end(), 100), 1) << text;
}

}  // namespace
}  // namespace brivane::testing
