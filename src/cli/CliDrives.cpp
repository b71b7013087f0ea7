// korvello-cli drives: the drive map as the program sees it, so a user can tell why an
// iPod is or is not found.
#include "cli/Cli.h"

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

} // namespace

int RunDrives(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    const Options options = ParseOptions(args, kNoOptions);
    if (options.help) {
        out << "usage: korvello-cli drives\n"
               "Lists the drives the program sees: letter, type, whether the drive is mapped\n"
               "from your drives folder, label, its Linux folder, and whether it holds\n"
               "iPod_Control/iTunes. The program offers removable drives holding it.\n";
        return kExitOk;
    }
    if (!options.arguments.empty())
        throw UsageError("drives takes no argument '" + options.arguments.front() + "'");

    Session session(options);
    IPlatform& platform = session.Platform();
    WriteRow(out, {"Drive", "Type", "Mapped", "Label", "Root", "iPod"});
    for (const DriveInfo& drive : platform.Drives()) {
        const std::string root = std::string(1, drive.letter) + ":";
        const bool ipod = platform.DirectoryExists(root + "\\iPod_Control\\iTunes\\");
        WriteRow(out, {root, TypeName(drive.type), drive.mapped ? "yes" : "no", drive.label,
                       drive.linuxRoot, ipod ? "yes" : "no"});
    }
    return kExitOk;
}

} // namespace korvello::cli
