// SPDX-License-Identifier: GPL-3.0-or-later
// korvello-cli drives: the drive map as the program sees it, so a user can tell why an
// iPod is or is not found.
#include "cli/Cli.h"

#include "core/ErrorLog.h"
#include "musicdb/DatabaseFile.h"
#include "musicdb/IpodLayout.h"
#include "musicdb/MusicFolderScan.h"

#include <ostream>
#include <unordered_set>

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

// How many song files in an iPod's music folders its database does not name (all of them
// when it has no database that can be read); empty when the database cannot be opened.
std::string UnlistedColumn(IPlatform& platform, const std::string& root) {
    TiPod ipod(platform);
    ipod.SetDrivePath(root);
    try {
        ipod.LoadDatabase();
    } catch (const EKorvelloError&) {
        return {};
    }
    const std::unordered_set<std::string> named =
        ipod.DatabaseStatus().Readable() ? NamedFiles(ipod) : std::unordered_set<std::string>();
    std::int64_t unlisted = 0;
    for (const TMusicFile& file : ListMusicFiles(platform, root))
        unlisted += named.contains(MusicFileKey(file.path)) ? 0 : 1;
    return std::to_string(unlisted);
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
               "drives holding iPod_Control/iTunes. Unlisted counts the song files in an\n"
               "iPod's music folders that its database does not name (all of them without a\n"
               "readable database); for it the whole database is read.\n";
        return kExitOk;
    }
    if (!options.arguments.empty())
        throw UsageError("drives takes no argument '" + options.arguments.front() + "'");

    Session session(options);
    IPlatform& platform = session.Platform();
    WriteRow(out, {"Drive", "Type", "Mapped", "Label", "Root", "iPod", "Database", "Unlisted"});
    for (const DriveInfo& drive : platform.Drives()) {
        const std::string root = std::string(1, drive.letter) + ":";
        const bool ipod = HoldsITunesFolder(platform, root);
        WriteRow(out,
                 {root, TypeName(drive.type), drive.mapped ? "yes" : "no", drive.label,
                  drive.linuxRoot, ipod ? "yes" : "no", ipod ? DatabaseColumn(platform, root) : "",
                  ipod ? UnlistedColumn(platform, root) : ""});
    }
    return kExitOk;
}

} // namespace korvello::cli
