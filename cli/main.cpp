// brivanectl: the camera from the command line — list, info, backup, verify, update with
// progress, rollback and recovery, restore. Against the system's cameras, or with --emulated
// against the emulated camera.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "brivane_version.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"

int main(int argc, char** argv) {
    using namespace brivane;
    using namespace brivane::cli;

    CLI::App app{"brivanectl: read, back up and update the firmware of a Brivane camera.\n" +
                 std::string(kExitHelp)};
    app.get_formatter()->column_width(36);
    app.set_version_flag("--version", std::string("brivanectl ") + kVersion);
    app.require_subcommand(1);
    app.fallthrough();

    GlobalOptions global;
    app.add_option("--device", global.device, "the camera's device path, as `list` shows it");
    app.add_flag("--json", global.json, "standard output holds one JSON document and nothing else");
    app.add_option("--trace", global.trace, "record every request to FILE (JSON Lines)");
    auto* emulation = app.add_option_group(
        "Emulated camera", "with --emulated, the emulated camera, its machine and its faults");
    emulation->add_flag("--emulated", global.emulated,
                        "run against the emulated camera instead of the system's devices");
    sim::EmulationOptionText simText;
    addEmulationOptions(*emulation, global.sim, simText);
    emulation->add_option("--dump-flash", global.dumpFlash,
                          "write the emulated flash to FILE at the end");

    auto* list = app.add_subcommand("list", "every video-capture device; cameras in detail");
    auto* info = app.add_subcommand("info", "one camera in detail, with its write protection");
    std::string file;
    bool force = false;
    auto* backup =
        app.add_subcommand("backup", "the whole flash to FILE, with FILE.json beside it");
    backup->add_option("FILE", file, "where to write")->required();
    backup->add_flag("--force", force, "overwrite an existing FILE");
    auto* verify = app.add_subcommand("verify", "compare the flash with FILE; 0 only when equal");
    verify->add_option("FILE", file, "image or backup")->required();

    WriteOptions write;
    auto* update = app.add_subcommand(
        "update", "update the firmware: backup, erase, write and verify, rollback on failure");
    update->add_option("--image", write.image,
                       "write FILE instead of the image chosen by the camera's id bytes");
    update->add_option("--image-dir", write.imageDir,
                       "where the images chosen by id bytes are (default: beside the program)");
    auto* restore = app.add_subcommand("restore", "write a backup back, verified");
    restore->add_option("FILE", write.image, "the backup")->required();
    for (CLI::App* writer : {update, restore}) {
        writer->add_option("--backup", write.backup,
                           "back the current flash up to FILE (default: the user's backup folder)");
        writer->add_flag("--no-backup", write.noBackup, "take no backup first (no rollback)");
        writer->add_flag("--force", write.force,
                         "write an image whose id bytes name no supported image");
        writer->add_flag(
            "--no-progress", [&write](std::int64_t) { write.progress = false; },
            "show no progress");
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? kExitDone : kExitUsage;
    }
    if (global.emulated) {
        if (const auto status = sim::finishEmulationOptions(simText, global.sim)) {
            return *status;
        }
    } else {
        for (const CLI::Option* option : emulation->get_options()) {
            if (option->count() > 0) {
                std::fprintf(stderr, "brivanectl: %s needs --emulated\n",
                             option->get_name().c_str());
                return kExitUsage;
            }
        }
    }
    if (write.backup && write.noBackup) {
        std::fprintf(stderr, "brivanectl: --backup and --no-backup exclude each other\n");
        return kExitUsage;
    }

    Output out(global.json);
    Session session(global);
    if (!session.start(out)) {
        return kExitUsage;
    }
    int status = kExitUsage;
    if (list->parsed()) {
        status = runList(session, out);
    } else if (info->parsed()) {
        status = runInfo(session, out);
    } else if (backup->parsed()) {
        status = runBackup(session, out, file, force);
    } else if (verify->parsed()) {
        status = runVerify(session, out, file);
    } else if (update->parsed()) {
        status = runUpdate(session, out, write);
    } else if (restore->parsed()) {
        status = runRestore(session, out, write);
    }
    if (out.json()) {
        out.data()["exitStatus"] = status;
    }
    out.finish();
    return status;
}
