#include "bench/time_left.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "bench/bench_rig.h"
#include "cli/commands.h"

namespace brivane::bench {

TimeLeftFigure measureTimeLeft(std::uint32_t latencyUs) {
    using Clock = std::chrono::steady_clock;
    struct Sample {
        Clock::time_point at;
        double fraction;
        double left;
    };
    const Scenario s{"time left", 18, camsim::FlashPart::mx25l512, 0x51};
    const std::string images = writeImages(s);

    cli::GlobalOptions global;
    global.emulated = true;
    global.sim.camera = cameraFor(s);
    global.sim.platformFaults.latencyUs = latencyUs;
    cli::WriteOptions write;
    write.imageDir = images;
    write.backup = images + "backup.bin";
    std::FILE* sink = std::tmpfile();
    write.progressOut = sink;
    std::vector<Sample> samples;
    write.progressSample = [&samples](double fraction, std::optional<double> left) {
        if (left) {
            samples.push_back({Clock::now(), fraction, *left});
        }
    };
    std::FILE* quiet = std::tmpfile();
    const Clock::time_point start = Clock::now();
    int status = 0;
    {
        cli::Output out(false, quiet, quiet);
        cli::Session session(global);
        session.start(out);
        status = cli::runUpdate(session, out, write);
    }
    const Clock::time_point end = Clock::now();
    std::fclose(sink);
    std::fclose(quiet);
    std::filesystem::remove_all(images);

    TimeLeftFigure f;
    if (status != 0) {
        return f;
    }
    f.seconds = std::chrono::duration<double>(end - start).count();
    double sum = 0;
    for (const Sample& x : samples) {
        if (x.fraction < 0.25 || x.fraction > 0.95) {
            continue;
        }
        const double real = std::chrono::duration<double>(end - x.at).count();
        const double error = std::fabs(x.left - real) / real;
        f.worstError = std::max(f.worstError, error);
        sum += error;
        ++f.samples;
    }
    f.meanError = f.samples > 0 ? sum / static_cast<double>(f.samples) : 0;
    return f;
}

}  // namespace brivane::bench
