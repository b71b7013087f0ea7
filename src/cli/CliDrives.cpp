// SPDX-License-Identifier: GPL-3.0-or-later
// korvello-cli drives: the drive map as the program sees it, so a user can tell why an
// iPod is or is not found.
#include "cli/Cli.h"

#include "core/ErrorLog.h"
#include "musicdb/DatabaseFile.h"
#include "musicdb/IpodLayout.h"

#include <ostream>

namespace korvello::cli {

namespace {

const char* TypeName(DriveType type) {
    switch (type) {
    case DriveType::Removable:
        return "removable";
    case DriveType::Fixed:
        return "fixed";
    case DriveType::Remote:
        return "remote";
    case DriveType::CdRom:
        return "cd-rom";
    case DriveType::RamDisk:
        return "ram disk";
    case DriveType::NoRootDir:
        return "no root";
    case DriveType::Unknown:
        break;
    }
    return "unknown";
}

// Which database the program would read on an iPod: "iTunesDB", "iTunesCDB" or "none",
// with the reason in brackets when a file is there but cannot be used.
std::string DatabaseColumn(IPlatform& platform, const std::string& root) {
    try {
        const TDatabaseStatus status = LookAtDatabaseFile(platform, root);
        std::string text = DatabaseFileName(status.file);
        if (status.file != TDatabaseFile::None && !status.Readable())
            text += " (" + status.problem + ")";
        return text;
    } catch (const EKorvelloError& e) {
        return std::string("unreadable (") + e.what() + ")";
    }
}

} // namespace

int RunDrives(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    const Options options = ParseOptions(args, kNoOptions);
    if (options.help) {
        out << "usage: korvello-cli drives\n"
               "Lists the drives the program sees: letter, type, whether the drive is mapped\n"
               "from your drives folder, label, its Linux folder, whether it holds\n"
               "iPod_Control/iTunes, and for an iPod the database it has: iTunesDB (earlier\n"
               "iPods), iTunesCDB (nano 5G to 7G) or none. The program offers removable\n"
               "drives holding iPod_Control/iTunes.\n";
        return kExitOk;
    }
    if (!options.arguments.empty())
        throw UsageError("drives takes no argument '" + options.arguments.front() + "'");

    Session session(options);
    IPlatform& platform = session.Platform();
    WriteRow(out, {"Drive", "Type", "Mapped", "Label", "Root", "iPod", "Database"});
    for (const DriveInfo& drive : platform.Drives()) {
        const std::string root = std::string(1, drive.letter) + ":";
        const bool ipod = HoldsITunesFolder(platform, root);
        WriteRow(out, {root, TypeName(drive.type), drive.mapped ? "yes" : "no", drive.label,
                       drive.linuxRoot, ipod ? "yes" : "no",
                       ipod ? DatabaseColumn(platform, root) : ""});
    }
    return kExitOk;
}

} // namespace korvello::cli
